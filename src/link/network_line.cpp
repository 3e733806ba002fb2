#include "link/network_line.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>

#include "core/format.h"

namespace skyh {
namespace {

constexpr const char* kRawScheme = "socket://";
constexpr const char* kTelnetScheme = "rfc2217://";
// How long a send may wait for the peer to take the bytes.
constexpr int kSendLimitMs = 5000;
// A quiet connection is probed after 10 s and given up after three
// unanswered probes 5 s apart; unacknowledged data is given up after 20 s.
constexpr int kKeepIdleS = 10;
constexpr int kKeepIntervalS = 5;
constexpr int kKeepCount = 3;
constexpr unsigned kUserTimeoutMs = 20000;
// Of the bytes a server sends before it closes, this many are shown.
constexpr size_t kShownTextBytes = 80;

bool StartsWithNoCase(const std::string& text, const char* prefix) {
  const size_t n = std::strlen(prefix);
  return text.size() >= n && strncasecmp(text.c_str(), prefix, n) == 0;
}

int64_t RealMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void SetOption(int fd, int level, int name, int value) { ::setsockopt(fd, level, name, &value, sizeof value); }

// The start of what a server said before it closed, when it is text.
std::string Shown(const std::string& text) {
  std::string shown = text;
  while (!shown.empty() && (shown.back() == '\r' || shown.back() == '\n')) shown.pop_back();
  for (char c : shown) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) return {};
  }
  return shown;
}

}  // namespace

bool IsNetworkPortName(const std::string& name) {
  return StartsWithNoCase(name, kRawScheme) || StartsWithNoCase(name, kTelnetScheme);
}

bool ParseNetworkPortName(const std::string& name, NetworkAddress& out, std::string& error) {
  auto fail = [&](const std::string& why) {
    error = Sprintf("Error port name \"%s\": %s", name, why);
    return false;
  };
  out = {};
  std::string rest;
  if (StartsWithNoCase(name, kRawScheme)) {
    rest = name.substr(std::strlen(kRawScheme));
  } else if (StartsWithNoCase(name, kTelnetScheme)) {
    out.telnet = true;
    rest = name.substr(std::strlen(kTelnetScheme));
  } else {
    return fail("not socket://HOST:PORT nor rfc2217://HOST:PORT");
  }
  std::string port;
  bool hasPort = false;
  if (!rest.empty() && rest[0] == '[') {
    const size_t close = rest.find(']');
    if (close == std::string::npos) return fail("the IPv6 address lacks its closing \"]\"");
    out.host = rest.substr(1, close - 1);
    const std::string after = rest.substr(close + 1);
    if (!after.empty() && after[0] != ':') return fail("\":PORT\" must follow the IPv6 address");
    hasPort = !after.empty();
    if (hasPort) port = after.substr(1);
  } else {
    const size_t colon = rest.rfind(':');
    hasPort = colon != std::string::npos;
    out.host = rest.substr(0, hasPort ? colon : rest.size());
    if (hasPort) port = rest.substr(colon + 1);
    if (out.host.find(':') != std::string::npos) return fail("an IPv6 address goes in brackets, as [::1]:4001");
  }
  if (out.host.empty()) return fail("the host is missing (HOST:PORT)");
  if (!hasPort || port.empty()) return fail("the port number is missing (HOST:PORT)");
  if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos || std::stoul(port) < 1 ||
      std::stoul(port) > 65535)
    return fail(Sprintf("the port number \"%s\" is not in 1..65535", port));
  out.port = static_cast<uint16_t>(std::stoul(port));
  return true;
}

NetworkLine::NetworkLine() : rxQueue(ByteQueue::kDefaultCapacity) {}

NetworkLine::~NetworkLine() { Close(); }

int NetworkLine::Connect(const NetworkAddress& address) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(address.port);
  if (int rc = ::getaddrinfo(address.host.c_str(), service.c_str(), &hints, &found); rc != 0) {
    lastError = Sprintf("Error can't resolve the host \"%s\" of \"%s\": %s", address.host, portName,
                        rc == EAI_SYSTEM ? std::strerror(errno) : ::gai_strerror(rc));
    return -1;
  }
  // The time-out runs on the line's clock, and in real time too, so that a
  // clock that stands still cannot hold the connect for ever.
  MonotonicClock& clock = Clock();
  const uint64_t start = clock.NowMs();
  const int64_t realStart = RealMs();
  auto elapsed = [&] { return std::max<int64_t>(int64_t(clock.NowMs() - start), RealMs() - realStart); };
  int lastErrno = 0;
  bool timedOut = false;
  int fd = -1;
  for (addrinfo* ai = found; ai && fd < 0 && !timedOut; ai = ai->ai_next) {
    int s = ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
    if (s < 0) {
      lastErrno = errno;
      continue;
    }
    int rc = ::connect(s, ai->ai_addr, ai->ai_addrlen);
    if (rc != 0 && errno != EINPROGRESS) {
      lastErrno = errno;
      ::close(s);
      continue;
    }
    bool ok = rc == 0;
    while (!ok) {
      const int64_t left = int64_t(kConnectTimeoutMs) - elapsed();
      if (left <= 0) {
        timedOut = true;
        break;
      }
      pollfd p{s, POLLOUT, 0};
      int n = ::poll(&p, 1, int(std::min<int64_t>(left, 100)));
      if (n < 0 && errno != EINTR) {
        lastErrno = errno;
        break;
      }
      if (n <= 0) continue;
      int err = 0;
      socklen_t len = sizeof err;
      if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
      if (err == 0) ok = true;
      else lastErrno = err;
      break;
    }
    if (ok) fd = s;
    else ::close(s);
  }
  ::freeaddrinfo(found);
  if (fd >= 0) return fd;
  const char* why = nullptr;
  std::string detail;
  if (timedOut || lastErrno == ETIMEDOUT) {
    why = "no answer within 5 s";
  } else if (lastErrno == ECONNREFUSED) {
    why = "the connection was refused";
  } else if (lastErrno == EHOSTUNREACH || lastErrno == ENETUNREACH || lastErrno == EHOSTDOWN || lastErrno == ENETDOWN) {
    detail = Sprintf("the host is unreachable (%s)", std::strerror(lastErrno));
  } else {
    detail = std::strerror(lastErrno);
  }
  lastError = Sprintf("Error can't connect to \"%s\": %s", portName, why ? why : detail.c_str());
  return -1;
}

bool NetworkLine::Open() {
  Close();
  lastError.clear();
  if (portName.empty()) {
    lastError = "Error port name is empty";
    return false;
  }
  NetworkAddress address;
  if (!ParseNetworkPortName(portName, address, lastError)) return false;
  telnet = address.telnet;
  const int fd = Connect(address);
  if (fd < 0) return false;
  SetOption(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
  SetOption(fd, IPPROTO_TCP, TCP_KEEPIDLE, kKeepIdleS);
  SetOption(fd, IPPROTO_TCP, TCP_KEEPINTVL, kKeepIntervalS);
  SetOption(fd, IPPROTO_TCP, TCP_KEEPCNT, kKeepCount);
  SetOption(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, int(kUserTimeoutMs));
  // Requests are small and a reply is awaited after each.
  SetOption(fd, IPPROTO_TCP, TCP_NODELAY, 1);
  {
    std::lock_guard<std::mutex> guard(stateLock);
    lost = false;
    lostWhy.clear();
    firstText.clear();
  }
  rxQueue.Clear();
  handle = fd;
  stopEvent = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (stopEvent < 0) {
    Close();
    lastError = "Error can't start receive thread";
    return false;
  }
  // The codec starts before anything received can reach it.
  if (telnet) {
    std::lock_guard<std::mutex> guard(wireLock);
    std::vector<uint8_t> offers;
    codec.Start(offers);
    codec.SetDtr(dtrOnOpen, offers);
    codec.SetRts(true, offers);
    if (!SendAll(offers)) MarkLost({});
  }
  try {
    receiveThread = std::thread(&NetworkLine::ReceiveLoop, this);
  } catch (const std::system_error&) {
    Close();
    lastError = "Error can't start receive thread";
    return false;
  }
  // A server that turns us away does so at once.
  std::unique_lock<std::mutex> state(stateLock);
  Clock().WaitFor(stateSignal, state, kSettleMs, [this] { return lost; });
  if (!lost) return true;
  if (!lostWhy.empty()) {
    lastError = Sprintf("Error \"%s\" sent Telnet garbage: %s", portName, lostWhy);
  } else {
    lastError = Sprintf("Error \"%s\" closed the connection at once", portName);
    if (const std::string text = Shown(firstText); !text.empty()) lastError += ": \"" + text + "\"";
  }
  state.unlock();
  const std::string why = lastError;
  Close();
  lastError = why;
  return false;
}

void NetworkLine::Close() {
  if (handle < 0) return;
  if (receiveThread.joinable()) {
    uint64_t one = 1;
    while (::write(stopEvent, &one, sizeof one) < 0 && errno == EINTR) {
    }
    receiveThread.join();
  }
  if (stopEvent >= 0) ::close(stopEvent);
  stopEvent = -1;
  // Neither waits for the peer (no lingering).
  ::shutdown(handle, SHUT_RDWR);
  ::close(handle);
  handle = -1;
}

bool NetworkLine::Lost() const {
  std::lock_guard<std::mutex> guard(stateLock);
  return lost;
}

bool NetworkLine::WaitLost(uint32_t timeoutMs) {
  std::unique_lock<std::mutex> guard(stateLock);
  return stateSignal.wait_for(guard, std::chrono::milliseconds(timeoutMs), [this] { return lost; });
}

void NetworkLine::MarkLost(const std::string& why) {
  {
    std::lock_guard<std::mutex> guard(stateLock);
    if (!lost) lostWhy = why;
    lost = true;
  }
  stateSignal.notify_all();
}

bool NetworkLine::SendAll(const std::vector<uint8_t>& bytes) {
  if (handle < 0) return false;
  const int64_t deadline = RealMs() + kSendLimitMs;
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t put = ::send(handle, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (put > 0) {
      done += size_t(put);
      continue;
    }
    if (put < 0 && errno == EINTR) continue;
    if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
    const int64_t left = deadline - RealMs();
    if (left <= 0) return false;
    // Close wakes a send that waits on a peer that reads nothing.
    pollfd fds[2] = {{handle, POLLOUT, 0}, {stopEvent, POLLIN, 0}};
    int n = ::poll(fds, 2, int(left));
    if (n < 0 && errno != EINTR) return false;
    if (n > 0 && (fds[1].revents != 0 || (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)))) return false;
  }
  return true;
}

void NetworkLine::ReceiveLoop() {
  pollfd fds[2] = {{handle, POLLIN, 0}, {stopEvent, POLLIN, 0}};
  uint8_t chunk[ByteQueue::kDefaultCapacity];
  std::vector<uint8_t> data, answers;
  for (;;) {
    int n = ::poll(fds, 2, -1);
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[1].revents != 0) break;
    if (fds[0].revents == 0) continue;
    ssize_t got = ::recv(handle, chunk, sizeof chunk, 0);
    if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
    if (got <= 0) {
      // The end of the connection, or a reset: stop watching it.
      MarkLost({});
      fds[0].fd = -1;
      continue;
    }
    data.clear();
    bool garbage = false;
    std::string why;
    if (telnet) {
      answers.clear();
      std::lock_guard<std::mutex> guard(wireLock);
      garbage = !codec.Feed(chunk, size_t(got), data, answers);
      if (garbage) why = codec.Error();
      if (!answers.empty() && !SendAll(answers)) MarkLost({});
    } else {
      data.assign(chunk, chunk + got);
    }
    {
      std::lock_guard<std::mutex> guard(stateLock);
      const size_t room = kShownTextBytes - std::min(kShownTextBytes, firstText.size());
      firstText.append(data.begin(), data.begin() + std::min(room, data.size()));
    }
    for (uint8_t b : data) rxQueue.Put(b);
    if (garbage) {
      MarkLost(why);
      fds[0].fd = -1;
    }
  }
}

bool NetworkLine::Write(const uint8_t* data, uint16_t length) {
  if (handle < 0) return false;
  if (Lost()) return true;
  std::vector<uint8_t> wire;
  if (telnet) TelnetCodec::Escape(data, length, wire);
  else wire.assign(data, data + length);
  std::lock_guard<std::mutex> guard(wireLock);
  if (!SendAll(wire)) MarkLost({});
  return true;
}

uint16_t NetworkLine::Read(uint8_t* buffer, uint16_t size, uint32_t timeoutMs) {
  return rxQueue.WaitAndGet(buffer, size, timeoutMs, Clock());
}

void NetworkLine::Purge() {
  rxQueue.Clear();
  if (handle < 0 || !telnet || Lost()) return;
  std::lock_guard<std::mutex> guard(wireLock);
  std::vector<uint8_t> out;
  codec.Purge(out);
  if (!out.empty() && !SendAll(out)) MarkLost({});
}

std::string NetworkLine::Description(bool open) { return portName + (open ? ": Connected" : ": Disconnected"); }

bool NetworkLine::SetRts(bool on) {
  if (handle < 0) return false;
  if (!telnet || Lost()) return true;
  std::lock_guard<std::mutex> guard(wireLock);
  std::vector<uint8_t> out;
  codec.SetRts(on, out);
  if (!out.empty() && !SendAll(out)) MarkLost({});
  return true;
}

bool NetworkLine::SetDtr(bool on) {
  if (handle < 0) return false;
  if (!telnet || Lost()) return true;
  std::lock_guard<std::mutex> guard(wireLock);
  std::vector<uint8_t> out;
  codec.SetDtr(on, out);
  if (!out.empty() && !SendAll(out)) MarkLost({});
  return true;
}

}  // namespace skyh
