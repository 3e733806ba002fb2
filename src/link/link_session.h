#pragma once
// The one way to the control box: the links, the choice among them and the
// communication lock, handed out as scoped leases.
//
//   LinkSession session;              // one per process (window or command)
//   session.Choose(config);           // configured or per-run link
//   LinkLease lease = session.Acquire(LinkSession::kOperatorWaitMs, true);
//   if (!lease) report(lease.ErrorText());
//   else lease.Link().GetDateTime(t), lease.EndSessionOnRelease(ok);
//                                     // EndSession (if asked), close, unlock
//
// Exchanges on one link never overlap: every user of the link holds a lease
// for its whole use of it. Leases may be taken on any thread; the wait for a
// busy lock runs on the session's clock, so tests need not wait for it.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "core/configuration.h"
#include "link/ccom.h"
#include "link/ccom_modem.h"
#include "link/ccom_serial.h"
#include "link/ccom_usb.h"
#include "link/monotonic_clock.h"

namespace skyh {

enum class LeaseError { kNone, kBusy, kOpenFailed };

// The message an operator command gives when another user holds the link.
inline const char* LinkBusyText() { return "The link is busy with another operation; try again later.\n"; }

class LinkSession;

// The link, locked and open, for the life of the object (movable, not
// copyable). A failed lease holds nothing and says why.
class LinkLease {
 public:
  LinkLease() = default;
  LinkLease(LinkLease&& other) noexcept;
  LinkLease& operator=(LinkLease&& other) noexcept;
  LinkLease(const LinkLease&) = delete;
  LinkLease& operator=(const LinkLease&) = delete;
  ~LinkLease() { Release(); }

  explicit operator bool() const { return error_ == LeaseError::kNone && session_; }
  LeaseError Error() const { return error_; }
  // LinkBusyText() when busy, the link's last error when it did not open.
  const std::string& ErrorText() const { return errorText_; }
  CCom& Link() const { return *link_; }

  // Whether release sends EndSession before closing (after an exchange that
  // went well; a box that stopped answering gets none). Default: no.
  void EndSessionOnRelease(bool endSession) { endSession_ = endSession; }
  // Closes the link now (EndSession first when asked) and opens it again,
  // keeping the lock; with the window's media steps and log lines when the
  // lease was taken with them.
  void Close(bool endSession);
  bool Open();
  // Closes an open link as above, then gives the lock back. Idempotent.
  void Release();

 private:
  friend class LinkSession;
  LinkSession* session_ = nullptr;
  CCom* link_ = nullptr;
  LeaseError error_ = LeaseError::kNone;
  std::string errorText_;
  bool media_ = false;
  bool open_ = false;
  bool endSession_ = false;
};

class LinkSession {
 public:
  // Retrieval workers wait 1000 ms for a busy link; operator commands a
  // little longer before they say it is busy.
  static constexpr uint32_t kWorkerWaitMs = 1000;
  static constexpr uint32_t kOperatorWaitMs = 5000;

  // Owns a USB, a serial and a modem link; USB is active until Choose.
  LinkSession();
  // A session over one link the caller owns (tests, tools); Choose leaves
  // it as it is.
  explicit LinkSession(CCom& only);
  LinkSession(const LinkSession&) = delete;
  LinkSession& operator=(const LinkSession&) = delete;

  // Hands the port to the serial and modem links and the phone number to
  // the modem link, then makes the configured kind (0 USB, 1 serial, 2
  // modem) active. Not while a lease is out.
  void Choose(const CConfiguration& config);
  CCom& Active() { return *active_; }

  // Waits up to `waitMs` for the lock, then opens the active link; with
  // `media`, through the window's "Open media" / "Close media" steps and
  // their log lines. `whenLocked` runs once the lock is held, before the
  // link opens (a dial takes a while: a progress display can say so first).
  LinkLease Acquire(uint32_t waitMs = kOperatorWaitMs, bool media = false,
                    const std::function<void()>& whenLocked = {});

  // The clock the lock wait runs on (null: the process-wide one).
  void SetClock(MonotonicClock* clock) { clock_ = clock; }

 private:
  friend class LinkLease;
  bool Lock(uint32_t waitMs);
  void Unlock();

  CComUsb usb_;
  CComSerial serial_;
  CComModem modem_;
  bool owned_ = true;
  CCom* active_;
  MonotonicClock* clock_ = nullptr;

  std::mutex mutex_;
  std::condition_variable freed_;
  bool held_ = false;
};

}  // namespace skyh
