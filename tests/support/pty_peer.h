#pragma once
// The far end of a pseudo-terminal: a test opens `SlavePath()` as a serial
// port and talks to it through the master side here.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace skyh::test {

class PtyPeer {
 public:
  PtyPeer() {
    char name[128];
    master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0 || ::ptsname_r(master, name, sizeof name)) {
      CloseMaster();
      return;
    }
    slavePath = name;
    slaveKeeper = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    // Raw from the start, so nothing is echoed before the port configures it.
    termios tio{};
    if (slaveKeeper >= 0 && ::tcgetattr(slaveKeeper, &tio) == 0)
      ::cfmakeraw(&tio), ::tcsetattr(slaveKeeper, TCSANOW, &tio);
  }
  ~PtyPeer() {
    CloseMaster();
    if (slaveKeeper >= 0) ::close(slaveKeeper);
  }
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  bool ok() const { return master >= 0; }
  const std::string& SlavePath() const { return slavePath; }

  bool Write(const std::vector<uint8_t>& bytes) {
    for (size_t done = 0; done < bytes.size();) {
      const ssize_t n = ::write(master, bytes.data() + done, bytes.size() - done);
      if (n <= 0 && !(n < 0 && errno == EINTR)) return false;
      done += size_t(std::max<ssize_t>(n, 0));
    }
    return true;
  }
  bool Write(const std::string& text) { return Write(std::vector<uint8_t>(text.begin(), text.end())); }
  // Reads until `count` bytes came or `timeoutMs` passed without a byte.
  std::vector<uint8_t> Read(size_t count, int timeoutMs) {
    std::vector<uint8_t> out;
    uint8_t buf[4096];
    while (out.size() < count) {
      pollfd fd{master, POLLIN, 0};
      const int n = ::poll(&fd, 1, timeoutMs);
      if (n < 0 && errno == EINTR) continue;
      const ssize_t got =
          n > 0 && (fd.revents & POLLIN) ? ::read(master, buf, std::min(sizeof buf, count - out.size())) : 0;
      if (got <= 0) break;
      out.insert(out.end(), buf, buf + got);
    }
    return out;
  }

 private:
  void CloseMaster() {
    if (master >= 0) ::close(master);
    master = -1;
  }
  int master = -1;
  int slaveKeeper = -1;  // keeps the line up while the port under test is closed
  std::string slavePath;
};

}  // namespace skyh::test
