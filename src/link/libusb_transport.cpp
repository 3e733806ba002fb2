#include "link/libusb_transport.h"

#include <chrono>

#include "core/format.h"

namespace skyh {
namespace {

constexpr int kInterface = 0;
// How long Close waits for a cancelled transfer to end, in all.
constexpr uint32_t kCancelEndMs = 10000;

std::string Describe(const char* call, int rc) {
  return Sprintf("%s: %s (%s)", call, libusb_error_name(rc), libusb_strerror(rc));
}

UsbOpen Classify(int rc) {
  switch (rc) {
    case LIBUSB_ERROR_ACCESS: return UsbOpen::Refused;
    case LIBUSB_ERROR_BUSY: return UsbOpen::Busy;
    case LIBUSB_ERROR_NO_DEVICE: return UsbOpen::NotFound;
    default: return UsbOpen::Failed;
  }
}

}  // namespace

LibUsbTransport::~LibUsbTransport() {
  Close();
  // A transfer that never ended still belongs to libusb: freeing it, its
  // handle or the context would let libusb write into freed memory.
  if (!completed) return;
  if (transfer != nullptr) libusb_free_transfer(transfer);
  if (context != nullptr) libusb_exit(context);
}

bool LibUsbTransport::EnsureContext() {
  if (context != nullptr) return true;
  if (libusb_init(&context) != 0) {
    context = nullptr;
    return false;
  }
  return true;
}

libusb_device* LibUsbTransport::FindDevice(libusb_device** list, uint16_t vendorId,
                                           uint16_t productId) {
  for (libusb_device** d = list; *d != nullptr; ++d) {
    libusb_device_descriptor desc;
    if (libusb_get_device_descriptor(*d, &desc) != 0) continue;
    if (desc.idVendor == vendorId && desc.idProduct == productId) return *d;
  }
  return nullptr;
}

bool LibUsbTransport::IsPresent(uint16_t vendorId, uint16_t productId) {
  if (!EnsureContext()) return false;
  libusb_device** list = nullptr;
  if (libusb_get_device_list(context, &list) < 0) return false;
  bool found = FindDevice(list, vendorId, productId) != nullptr;
  libusb_free_device_list(list, 1);
  return found;
}

UsbOpen LibUsbTransport::Open(uint16_t vendorId, uint16_t productId, std::string& reason) {
  reason.clear();
  if (handle != nullptr) return UsbOpen::Opened;
  if (!EnsureContext()) {
    reason = "libusb_init failed";
    return UsbOpen::Failed;
  }
  libusb_device** list = nullptr;
  if (int rc = int(libusb_get_device_list(context, &list)); rc < 0) {
    reason = Describe("libusb_get_device_list", rc);
    return UsbOpen::Failed;
  }
  libusb_device* device = FindDevice(list, vendorId, productId);
  int opened = device != nullptr ? libusb_open(device, &handle) : LIBUSB_ERROR_NO_DEVICE;
  libusb_free_device_list(list, 1);
  if (device == nullptr) return UsbOpen::NotFound;
  if (opened != 0) {
    handle = nullptr;
    reason = Describe("libusb_open", opened);
    return Classify(opened);
  }
  int claimed = libusb_claim_interface(handle, kInterface);
  if (claimed == LIBUSB_ERROR_BUSY &&
      libusb_kernel_driver_active(handle, kInterface) == 1 &&
      libusb_detach_kernel_driver(handle, kInterface) == 0) {
    // A generic kernel driver took the interface; the box needs it raw.
    claimed = libusb_claim_interface(handle, kInterface);
  }
  if (claimed != 0) {
    reason = Describe("libusb_claim_interface", claimed);
    libusb_close(handle);
    handle = nullptr;
    return Classify(claimed);
  }
  claimedInterface = kInterface;
  return UsbOpen::Opened;
}

bool LibUsbTransport::EndCancelled() {
  if (completed) return true;
  Cancel();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kCancelEndMs);
  while (!completed && std::chrono::steady_clock::now() < deadline) {
    int ignored = 0;
    Wait(100, ignored);
  }
  return completed != 0;
}

void LibUsbTransport::Close() {
  if (handle == nullptr) return;
  // The handle is let go only once its transfer has ended; one that never
  // does keeps the handle (a later Submit is refused rather than run
  // alongside it, so its callback cannot land in another transfer).
  if (!EndCancelled()) return;
  if (claimedInterface >= 0) libusb_release_interface(handle, claimedInterface);
  claimedInterface = -1;
  libusb_close(handle);
  handle = nullptr;
}

void LIBUSB_CALL LibUsbTransport::OnTransferDone(libusb_transfer* done) {
  static_cast<LibUsbTransport*>(done->user_data)->completed = 1;
}

bool LibUsbTransport::Submit(uint8_t endpoint, uint8_t* buffer, int length) {
  if (handle == nullptr || !completed) return false;
  if (transfer == nullptr) transfer = libusb_alloc_transfer(0);
  if (transfer == nullptr) return false;
  // No libusb time-out: Wait measures it and the caller cancels.
  libusb_fill_bulk_transfer(transfer, handle, endpoint, buffer, length, OnTransferDone, this, 0);
  completed = 0;
  if (libusb_submit_transfer(transfer) != 0) {
    completed = 1;
    return false;
  }
  return true;
}

UsbWait LibUsbTransport::Wait(uint32_t timeoutMs, int& transferred) {
  transferred = 0;
  if (transfer == nullptr) return UsbWait::Failed;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!completed) {
    auto left = std::chrono::duration_cast<std::chrono::microseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return UsbWait::TimedOut;
    timeval tv{static_cast<time_t>(left.count() / 1000000),
               static_cast<suseconds_t>(left.count() % 1000000)};
    int rc = libusb_handle_events_timeout_completed(context, &tv, &completed);
    if (rc != 0 && rc != LIBUSB_ERROR_INTERRUPTED && rc != LIBUSB_ERROR_TIMEOUT) {
      return UsbWait::TimedOut;
    }
  }
  transferred = transfer->actual_length;
  return transfer->status == LIBUSB_TRANSFER_COMPLETED ? UsbWait::Done : UsbWait::Failed;
}

void LibUsbTransport::Cancel() {
  if (transfer != nullptr && !completed) libusb_cancel_transfer(transfer);
}

}  // namespace skyh
