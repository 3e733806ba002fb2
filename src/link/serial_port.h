#pragma once
// A local serial port on POSIX termios: raw 8N1 without flow control, an
// exclusive open, and a receive thread that moves every received byte into
// `rxQueue`. Pseudo-terminals work too (the simulator and the tests use them).
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "link/byte_queue.h"

namespace skyh {

enum class ModemLine { Dtr, Rts };

class SerialPort {
 public:
  // Sets one modem line of the open port; true on success.
  using ModemLineControl = std::function<bool(ModemLine line, bool on)>;

  SerialPort();
  ~SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Opens the port for exclusive use and purges both directions. A name
  // without a "/" is looked up under /dev.
  bool Open(const std::string& portName);
  // After a failed Open: another program holds the port.
  bool OpenFailedBusy() const { return openBusy; }
  // parity 0 = none, 1 = odd, 2 = even; stopBits 0 = one, 2 = two.
  bool Configure(uint32_t baud, uint8_t byteSize, uint8_t parity, uint8_t stopBits);
  bool Purge();
  bool StartReceiveThread();
  void StopReceiveThread();
  // True when every byte was handed to the driver; false on a write error
  // (a pulled adapter) or when the driver takes nothing for several seconds.
  bool Write(const uint8_t* data, uint16_t length);
  bool Close();

  // Modem lines. A line a pseudo-terminal lacks is not an error.
  bool SetRts(bool on);
  bool SetDtr(bool on);
  // Replaces the ioctl behind SetRts and SetDtr (tests watch the calls).
  void SetModemLineControl(ModemLineControl control) { lineControl = std::move(control); }

  bool IsOpen() const { return handle >= 0; }
  bool ReceiveThreadRunning() const { return threadRunning.load(); }
  const std::string& DevicePath() const { return devicePath; }
  uint32_t BaudRate() const { return baudRate; }

  // Bytes the receive thread has queued since construction, and a wait for
  // that count to reach `total` (for callers that must know bytes arrived).
  uint64_t ReceivedTotal() const;
  bool WaitReceivedTotal(uint64_t total, uint32_t timeoutMs);

  // The path opened for a configured port name.
  static std::string DevicePathFor(const std::string& portName);

  ByteQueue rxQueue;

 private:
  void ReceiveLoop();
  bool SetModemLine(ModemLine line, bool on);

  std::string devicePath;
  uint32_t baudRate = 9600;
  int handle = -1;
  bool openBusy = false;
  ModemLineControl lineControl;
  int stopEvent = -1;  // eventfd that wakes the receive thread for Close
  std::thread receiveThread;
  std::atomic<bool> threadRunning{false};
  mutable std::mutex receivedLock;
  std::condition_variable receivedSignal;
  uint64_t receivedTotal = 0;
};

}  // namespace skyh
