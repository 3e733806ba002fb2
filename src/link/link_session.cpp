#include "link/link_session.h"

#include <utility>

#include "core/log_file.h"

namespace skyh {

LinkLease::LinkLease(LinkLease&& other) noexcept { *this = std::move(other); }

LinkLease& LinkLease::operator=(LinkLease&& other) noexcept {
  if (this == &other) return *this;
  Release();
  session_ = std::exchange(other.session_, nullptr);
  link_ = other.link_;
  error_ = other.error_;
  errorText_ = std::move(other.errorText_);
  media_ = other.media_;
  open_ = std::exchange(other.open_, false);
  endSession_ = other.endSession_;
  return *this;
}

bool LinkLease::Open() {
  if (!link_) return false;
  open_ = link_->Open();
  if (media_) {
    LogLine(open_ ? "Open media: OK\n" : "Open media: ERROR\n");
    if (!open_) LogLine("ERROR: %s\n", link_->GetLastErrorText());
  }
  return open_;
}

void LinkLease::Close(bool endSession) {
  if (!link_) return;
  if (endSession) link_->EndSession();
  if (media_) LogLine("Close media\n");
  link_->Close();
  open_ = false;
}

void LinkLease::Release() {
  if (!session_) return;
  if (open_) Close(endSession_);
  session_->Unlock();
  session_ = nullptr;
}

LinkSession::LinkSession() : active_(&usb_) {}

LinkSession::LinkSession(CCom& only) : owned_(false), active_(&only) {}

void LinkSession::Choose(const CConfiguration& config) {
  if (!owned_) return;
  serial_.SetPortName(config.port);
  modem_.SetPortName(config.port);
  modem_.SetPhoneNumber(config.phoneNumber);
  switch (config.linkType) {
    case kLinkSerial: active_ = &serial_; break;
    case kLinkModem: active_ = &modem_; break;
    default: active_ = &usb_; break;
  }
}

bool LinkSession::Lock(uint32_t waitMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  MonotonicClock& clock = clock_ ? *clock_ : CurrentClock();
  if (!clock.WaitFor(freed_, lock, waitMs, [this] { return !held_; })) return false;
  held_ = true;
  return true;
}

void LinkSession::Unlock() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    held_ = false;
  }
  freed_.notify_one();
}

LinkLease LinkSession::Acquire(uint32_t waitMs, bool media, const std::function<void()>& whenLocked) {
  LinkLease lease;
  lease.link_ = active_;
  lease.media_ = media;
  if (!Lock(waitMs)) {
    lease.error_ = LeaseError::kBusy;
    lease.errorText_ = LinkBusyText();
    return lease;
  }
  lease.session_ = this;
  if (whenLocked) whenLocked();
  if (!lease.Open()) {
    lease.error_ = LeaseError::kOpenFailed;
    lease.errorText_ = active_->GetLastErrorText();
    lease.Release();
  }
  return lease;
}

}  // namespace skyh
