#include "box_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace skyh::sim {
namespace {

constexpr int kMaxWaitMs = 50;

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) {
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, 100) <= 0) return false;
        continue;
      }
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

BoxServer::~BoxServer() {
  CloseFd(master_);
  CloseFd(inotify_);
  CloseFd(client_);
  CloseFd(listen_);
}

bool BoxServer::OpenPseudoTerminal(std::string& slavePath, std::string& error) {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
    error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
    CloseFd(master_);
    return false;
  }
  const char* name = ::ptsname(master_);
  if (!name) {
    error = "cannot name the pseudo-terminal";
    CloseFd(master_);
    return false;
  }
  slavePath = name;
  // Raw bytes both ways: no echo, no line editing, no CR/LF translation.
  termios t{};
  if (::tcgetattr(master_, &t) == 0) {
    ::cfmakeraw(&t);
    ::tcsetattr(master_, TCSANOW, &t);
  }
  // Opens of the terminal tell a reopen apart from a host that stays connected.
  inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (inotify_ < 0 || ::inotify_add_watch(inotify_, name, IN_OPEN) < 0) {
    error = std::string("cannot watch the pseudo-terminal: ") + std::strerror(errno);
    CloseFd(inotify_);
    CloseFd(master_);
    return false;
  }
  writeFd_ = master_;
  mode_ = Mode::Pty;
  return true;
}

bool BoxServer::ListenTcp(uint16_t port, uint16_t& boundPort, std::string& error) {
  listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_ < 0) {
    error = std::string("cannot create a socket: ") + std::strerror(errno);
    return false;
  }
  int yes = 1;
  ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listen_, 1) != 0) {
    error = "cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
    CloseFd(listen_);
    return false;
  }
  socklen_t len = sizeof a;
  ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
  boundPort = ntohs(a.sin_port);
  mode_ = Mode::Tcp;
  return true;
}

void BoxServer::UseDescriptors(int in, int out) {
  in_ = in;
  out_ = out;
  writeFd_ = out;
  mode_ = Mode::Fds;
}

void BoxServer::Deliver(const uint8_t* data, size_t size) {
  if (trace) trace(true, data, size);
  std::lock_guard<std::mutex> guard(boxLock_);
  box_.Receive(data, size);
}

void BoxServer::Flush() {
  std::vector<uint8_t> out;
  {
    std::lock_guard<std::mutex> guard(boxLock_);
    out = box_.TakeOutput();
  }
  if (out.empty() || writeFd_ < 0) return;
  if (trace) trace(false, out.data(), out.size());
  if (telnet_) out = telnet_->ToClient(out.data(), out.size());
  WriteAll(writeFd_, out.data(), out.size());
}

void BoxServer::Accepted() {
  writeFd_ = client_;
  Reopen();
  if (!comPort_) return;
  // A new connection negotiates afresh.
  telnet_ = std::make_unique<ComPortServer>();
  telnet_->SetNotifyEvery(notifyEvery_);
  telnet_->onData = [this](const uint8_t* data, size_t size) { Deliver(data, size); };
  telnet_->onPurge = [this](uint8_t which) {
    std::lock_guard<std::mutex> guard(boxLock_);
    if (which & 1) box_.PurgeOutput();
    if (which & 2) box_.PurgeInput();
  };
  telnet_->onBaud = [this](const LineSettings& s) {
    if (onLineSettings) onLineSettings(s);
  };
}

void BoxServer::DropClient() {
  CloseFd(client_);
  writeFd_ = -1;
  telnet_.reset();
}

int BoxServer::PollTimeoutMs() const {
  const int64_t due = NextOutputDueMs();
  if (due < 0) return kMaxWaitMs;
  const int64_t wait = due - SteadyMs();
  return wait <= 0 ? 0 : static_cast<int>(std::min<int64_t>(wait, kMaxWaitMs));
}

void BoxServer::HandleInotify() {
  alignas(inotify_event) char buf[4096];
  bool opened = false;
  for (;;) {
    ssize_t n = ::read(inotify_, buf, sizeof buf);
    if (n <= 0) break;
    for (ssize_t p = 0; p < n;) {
      auto* e = reinterpret_cast<inotify_event*>(buf + p);
      if (e->mask & IN_OPEN) opened = true;
      p += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
    }
  }
  if (opened) Reopen();
}

int64_t BoxServer::NextOutputDueMs() const {
  std::lock_guard<std::mutex> guard(boxLock_);
  return box_.NextOutputDueMs();
}

void BoxServer::Reopen() {
  std::lock_guard<std::mutex> guard(boxLock_);
  box_.Reopen();
}

void BoxServer::Run(const std::atomic<bool>& stop) {
  switch (mode_) {
    case Mode::Pty: RunPseudoTerminal(stop); break;
    case Mode::Tcp: RunTcp(stop); break;
    case Mode::Fds: RunDescriptors(stop); break;
    case Mode::None: break;
  }
}

void BoxServer::RunPseudoTerminal(const std::atomic<bool>& stop) {
  uint8_t buf[4096];
  while (!stop.load()) {
    pollfd p[2] = {{inotify_, POLLIN, 0}, {master_, POLLIN, 0}};
    int r = ::poll(p, 2, PollTimeoutMs());
    if (r < 0 && errno != EINTR) break;
    // Opens first: the bytes a host writes after opening belong to the new line.
    if (p[0].revents & POLLIN) HandleInotify();
    if (p[1].revents & POLLIN) {
      ssize_t n = ::read(master_, buf, sizeof buf);
      if (n > 0) Deliver(buf, static_cast<size_t>(n));
    } else if (p[1].revents & POLLHUP) {
      // Nobody has the terminal open: wait for an open instead of spinning.
      pollfd q{inotify_, POLLIN, 0};
      ::poll(&q, 1, PollTimeoutMs() == 0 ? 0 : kMaxWaitMs);
      if (q.revents & POLLIN) HandleInotify();
    }
    Flush();
  }
}

void BoxServer::RunTcp(const std::atomic<bool>& stop) {
  uint8_t buf[4096];
  while (!stop.load()) {
    if (client_ < 0) {
      writeFd_ = -1;
      pollfd p{listen_, POLLIN, 0};
      int r = ::poll(&p, 1, kMaxWaitMs);
      if (r > 0 && (p.revents & POLLIN)) {
        client_ = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client_ >= 0) Accepted();
      }
      continue;
    }
    pollfd p{client_, POLLIN, 0};
    int r = ::poll(&p, 1, PollTimeoutMs());
    if (r < 0 && errno != EINTR) break;
    if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
      ssize_t n = ::read(client_, buf, sizeof buf);
      if (n > 0 && telnet_) {
        const std::vector<uint8_t> answer = telnet_->FromClient(buf, static_cast<size_t>(n));
        {
          // Settled before the answer goes out: whoever reads the answer sees the line as set.
          std::lock_guard<std::mutex> guard(boxLock_);
          lineSettings_ = telnet_->settings();
          if (telnet_->baudSet()) box_.SetLine(static_cast<int>(lineSettings_.baud), lineSettings_.BitsPerCharacter());
        }
        if (!answer.empty()) WriteAll(client_, answer.data(), answer.size());
      } else if (n > 0) {
        Deliver(buf, static_cast<size_t>(n));
      } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
        DropClient();
        continue;
      }
    }
    Flush();
    bool hangUp = false;
    {
      std::lock_guard<std::mutex> guard(boxLock_);
      hangUp = box_.TakeHangUp();
    }
    if (hangUp) DropClient();
  }
}

void BoxServer::RunDescriptors(const std::atomic<bool>& stop) {
  uint8_t buf[4096];
  bool inputOpen = true;
  while (!stop.load()) {
    if (!inputOpen) {
      // Input ended: let the last answers go out, then stop.
      if (NextOutputDueMs() < 0) break;
      pollfd none{-1, 0, 0};
      ::poll(&none, 1, PollTimeoutMs());
      Flush();
      continue;
    }
    pollfd p{in_, POLLIN, 0};
    int r = ::poll(&p, 1, PollTimeoutMs());
    if (r < 0 && errno != EINTR) break;
    if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
      ssize_t n = ::read(in_, buf, sizeof buf);
      if (n > 0) {
        Deliver(buf, static_cast<size_t>(n));
      } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
        inputOpen = false;
      }
    }
    Flush();
  }
}

}  // namespace skyh::sim
