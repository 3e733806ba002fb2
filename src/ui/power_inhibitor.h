#pragma once
// Keeps the computer awake while automatic retrieval is enabled: the login
// manager's "sleep:idle" inhibitor, held as the file descriptor it hands
// out and released by closing it.
#include <QDBusUnixFileDescriptor>

namespace skyh::ui {

class PowerInhibitor {
 public:
  ~PowerInhibitor() { Set(false); }
  // True takes the inhibitor (once), false releases it. Without a system
  // bus or login manager one log line is written and nothing else happens.
  void Set(bool keepAwake);
  bool Held() const { return fd_.isValid(); }

 private:
  QDBusUnixFileDescriptor fd_;
  bool failureLogged_ = false;
};

}  // namespace skyh::ui
