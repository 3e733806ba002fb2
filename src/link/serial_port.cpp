#include "link/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <system_error>

#include "core/format.h"

namespace skyh {
namespace {

constexpr uint16_t kQueueCapacity = 4096;
// Beyond the time the bytes need on the line, how long a write may wait for
// room in the driver before the port counts as gone.
constexpr int kWriteSlackMs = 2000;

bool BaudConstant(uint32_t baud, speed_t& out) {
  switch (baud) {
    case 1200: out = B1200; return true;
    case 2400: out = B2400; return true;
    case 4800: out = B4800; return true;
    case 9600: out = B9600; return true;
    case 19200: out = B19200; return true;
    case 38400: out = B38400; return true;
    case 57600: out = B57600; return true;
    case 115200: out = B115200; return true;
    default: return false;
  }
}

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

SerialPort::SerialPort() : rxQueue(kQueueCapacity) {}

SerialPort::~SerialPort() { Close(); }

std::string SerialPort::DevicePathFor(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  return "/dev/" + name;
}

bool SerialPort::Open() {
  if (portName.empty()) {
    lastError = "Error port name is empty";
    return false;
  }
  if (!OpenDevice(portName)) {
    lastError = Sprintf("Error can't open port \"%s\"", portName);
    if (openBusy) lastError += ": it is busy (in use by another program)";
    return false;
  }
  if (!Configure(9600)) {
    lastError = Sprintf("Error can't configure port \"%s\"", portName);
    Close();
    return false;
  }
  // Both lines are set before anything can be received.
  SetDtr(dtrOnOpen);
  SetRts(true);
  if (!StartReceiveThread()) {
    Close();
    lastError = "Error can't start receive thread";
    return false;
  }
  return true;
}

uint16_t SerialPort::Read(uint8_t* buffer, uint16_t size, uint32_t timeoutMs) {
  return rxQueue.WaitAndGet(buffer, size, timeoutMs, Clock());
}

std::string SerialPort::Description(bool open) {
  if (portName.empty()) return "Unknown";
  return portName + (open ? ": Connected" : ": Disconnected");
}

bool SerialPort::OpenDevice(const std::string& name) {
  if (handle >= 0) return true;
  openBusy = false;
  const std::string devicePath = DevicePathFor(name);
  // Non-blocking: the open must not wait for a carrier, and the receive
  // thread and Write wait through poll() instead.
  int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    // EBUSY: another program holds the port with TIOCEXCL.
    openBusy = errno == EBUSY;
    return false;
  }
  if (!::isatty(fd)) {
    ::close(fd);
    return false;
  }
  // Exclusive like a Windows COM port: flock keeps out every other opener
  // that asks (other instances, and root, which TIOCEXCL does not stop);
  // TIOCEXCL keeps out unprivileged programs that do not ask.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    openBusy = errno == EWOULDBLOCK;
    ::close(fd);
    return false;
  }
  ::ioctl(fd, TIOCEXCL);
  handle = fd;
  if (!Flush()) {
    Close();
    return false;
  }
  return true;
}

bool SerialPort::Configure(uint32_t baud) {
  if (handle < 0) return false;
  speed_t speed;
  if (!BaudConstant(baud, speed)) return false;
  termios tio{};
  if (::tcgetattr(handle, &tio) != 0) return false;
  ::cfmakeraw(&tio);
  tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  tio.c_iflag &= ~(IXON | IXOFF | IXANY);
  // VMIN 1 with O_NONBLOCK: an empty read fails with EAGAIN, so that a read
  // of 0 bytes means a hang-up (VMIN 0 would return 0 for "nothing yet").
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0) return false;
  if (::tcsetattr(handle, TCSANOW, &tio) != 0) return false;
  baudRate = baud;
  return true;
}

bool SerialPort::Flush() {
  if (handle < 0) return false;
  if (::tcflush(handle, TCIOFLUSH) != 0) return false;
  // What the receive thread already moved is as stale as the driver's bytes.
  rxQueue.Clear();
  return true;
}

bool SerialPort::StartReceiveThread() {
  if (handle < 0) return false;
  if (receiveThread.joinable()) return true;
  stopEvent = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (stopEvent < 0) {
    Close();
    return false;
  }
  threadRunning = true;
  try {
    receiveThread = std::thread(&SerialPort::ReceiveLoop, this);
  } catch (const std::system_error&) {
    threadRunning = false;
    ::close(stopEvent);
    stopEvent = -1;
    Close();
    return false;
  }
  return true;
}

void SerialPort::ReceiveLoop() {
  pollfd fds[2] = {{handle, POLLIN, 0}, {stopEvent, POLLIN, 0}};
  uint8_t chunk[kQueueCapacity];
  for (;;) {
    int n = ::poll(fds, 2, -1);
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[1].revents != 0) break;
    short events = fds[0].revents;
    if (events == 0) continue;
    bool lost = (events & (POLLERR | POLLNVAL)) != 0;
    if (events & (POLLIN | POLLHUP)) {
      for (;;) {
        ssize_t got = ::read(handle, chunk, sizeof chunk);
        if (got > 0) {
          for (ssize_t i = 0; i < got; ++i) rxQueue.Put(chunk[i]);
          {
            std::lock_guard<std::mutex> guard(receivedLock);
            receivedTotal += uint64_t(got);
          }
          receivedSignal.notify_all();
          continue;
        }
        if (got < 0 && errno == EINTR) continue;
        // 0 is a hang-up; EIO a pulled adapter or a closed pseudo-terminal.
        if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) lost = true;
        break;
      }
    }
    // A dead line would wake poll() at once for ever: stop watching it and
    // wait for Close alone, so that a silent or lost line costs no CPU.
    if (lost) fds[0].fd = -1;
  }
  threadRunning = false;
}

void SerialPort::StopReceiveThread() {
  if (!receiveThread.joinable()) return;
  uint64_t one = 1;
  while (::write(stopEvent, &one, sizeof one) < 0 && errno == EINTR) {
  }
  receiveThread.join();
  ::close(stopEvent);
  stopEvent = -1;
}

uint64_t SerialPort::ReceivedTotal() const {
  std::lock_guard<std::mutex> guard(receivedLock);
  return receivedTotal;
}

bool SerialPort::WaitReceivedTotal(uint64_t total, uint32_t timeoutMs) {
  std::unique_lock<std::mutex> guard(receivedLock);
  return receivedSignal.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                                 [&] { return receivedTotal >= total; });
}

bool SerialPort::Write(const uint8_t* data, uint16_t length) {
  if (handle < 0) return false;
  int64_t lineMs = baudRate ? int64_t(length) * 10 * 1000 / baudRate : 0;
  int64_t deadline = NowMs() + kWriteSlackMs + 2 * lineMs;
  uint16_t done = 0;
  while (done < length) {
    ssize_t put = ::write(handle, data + done, length - done);
    if (put > 0) {
      done = uint16_t(done + put);
      continue;
    }
    if (put < 0 && errno == EINTR) continue;
    if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
    int64_t left = deadline - NowMs();
    if (left <= 0) return false;
    pollfd fd{handle, POLLOUT, 0};
    int n = ::poll(&fd, 1, int(left));
    if (n < 0 && errno != EINTR) return false;
    if (n > 0 && (fd.revents & (POLLERR | POLLHUP | POLLNVAL))) return false;
  }
  return true;
}

void SerialPort::Close() {
  if (handle < 0) return;
  StopReceiveThread();
  ::ioctl(handle, TIOCNXCL);
  ::close(handle);  // the descriptor is gone even when close reports an error
  handle = -1;
}

bool SerialPort::SetModemLine(ModemLine line, bool on) {
  if (handle < 0) return false;
  if (lineControl) return lineControl(line, on);
  int bit = line == ModemLine::Dtr ? TIOCM_DTR : TIOCM_RTS;
  if (::ioctl(handle, on ? TIOCMBIS : TIOCMBIC, &bit) == 0) return true;
  // Pseudo-terminals have no modem lines.
  return errno == ENOTTY || errno == EINVAL;
}

bool SerialPort::SetRts(bool on) { return SetModemLine(ModemLine::Rts, on); }

bool SerialPort::SetDtr(bool on) { return SetModemLine(ModemLine::Dtr, on); }

}  // namespace skyh
