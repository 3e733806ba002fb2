#pragma once
// Keeps the computer awake while automatic retrieval is enabled, through the
// login manager's inhibitor (a systemd-inhibit child holding a sleep lock).
#include <sys/types.h>

namespace skyh {

class PowerRequest {
 public:
  PowerRequest() = default;
  ~PowerRequest() { Set(false); }
  PowerRequest(const PowerRequest&) = delete;
  PowerRequest& operator=(const PowerRequest&) = delete;

  // True asks to stay awake (kept until withdrawn); false withdraws.
  // Gives whether the request is now in the wanted state.
  bool Set(bool keepAwake);
  bool Held() const { return child > 0; }

 private:
  pid_t child = -1;
};

}  // namespace skyh
