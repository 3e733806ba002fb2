#include "support/pty_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace skyh::test {

PtyPeer::PtyPeer() {
  master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) return;
  if (::grantpt(master) != 0 || ::unlockpt(master) != 0) {
    CloseMaster();
    return;
  }
  char name[128];
  if (::ptsname_r(master, name, sizeof name) != 0) {
    CloseMaster();
    return;
  }
  slavePath = name;
  slaveKeeper = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  // Raw from the start, so nothing is echoed before the port configures it.
  termios tio{};
  if (slaveKeeper >= 0 && ::tcgetattr(slaveKeeper, &tio) == 0) {
    ::cfmakeraw(&tio);
    ::tcsetattr(slaveKeeper, TCSANOW, &tio);
  }
}

PtyPeer::~PtyPeer() {
  CloseMaster();
  if (slaveKeeper >= 0) ::close(slaveKeeper);
}

void PtyPeer::CloseMaster() {
  if (master >= 0) ::close(master);
  master = -1;
}

bool PtyPeer::Write(const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(master, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

bool PtyPeer::Write(const std::string& text) {
  return Write(std::vector<uint8_t>(text.begin(), text.end()));
}

std::vector<uint8_t> PtyPeer::Read(size_t count, int timeoutMs) {
  std::vector<uint8_t> out;
  while (out.size() < count) {
    pollfd fd{master, POLLIN, 0};
    int n = ::poll(&fd, 1, timeoutMs);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || !(fd.revents & POLLIN)) break;
    uint8_t buf[4096];
    ssize_t got = ::read(master, buf, std::min(sizeof buf, count - out.size()));
    if (got <= 0) break;
    out.insert(out.end(), buf, buf + got);
  }
  return out;
}

}  // namespace skyh::test
