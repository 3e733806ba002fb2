#pragma once
// A local serial port on POSIX termios: raw 8N1 at 9600 baud without flow
// control, an exclusive open, and a receive thread that moves every received
// byte into `rxQueue`. Pseudo-terminals work too (the simulator and the tests
// use them).
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "link/byte_queue.h"
#include "link/transport.h"

namespace skyh {

enum class ModemLine { Dtr, Rts };

class SerialPort : public SerialLine {
 public:
  // Sets one modem line of the open port; true on success.
  using ModemLineControl = std::function<bool(ModemLine line, bool on)>;

  SerialPort();
  ~SerialPort() override;

  // ---- the transport ----
  // Opens, configures and starts receiving on the named port, with the
  // link's error texts.
  bool Open() override;
  void Close() override;
  // True when every byte was handed to the driver; false on a write error
  // (a pulled adapter) or when the driver takes nothing for several seconds.
  bool Write(const uint8_t* data, uint16_t length) override;
  uint16_t Read(uint8_t* buffer, uint16_t size, uint32_t timeoutMs) override;
  // Drops what the receive thread has queued.
  void Purge() override { rxQueue.Clear(); }
  std::string Description(bool open) override;
  // The driver takes a request at once; it then needs its line time.
  uint32_t LineBitRate() const override { return baudRate; }
  void SetPortName(const std::string& name) { portName = name; }
  const std::string& PortName() const override { return portName; }
  void SetDtrOnOpen(bool on) override { dtrOnOpen = on; }
  // A line a pseudo-terminal lacks is not an error.
  bool SetRts(bool on) override;
  bool SetDtr(bool on) override;

  // ---- the steps of Open ----
  // Opens the port for exclusive use and flushes both directions. A name
  // without a "/" is looked up under /dev.
  bool OpenDevice(const std::string& name);
  // After a failed Open: another program holds the port.
  bool OpenFailedBusy() const { return openBusy; }
  // Raw 8N1 at `baud` without flow control.
  bool Configure(uint32_t baud);
  // Discards what the driver holds in both directions and the queue.
  bool Flush();
  bool StartReceiveThread();
  void StopReceiveThread();

  // Replaces the ioctl behind SetRts and SetDtr (tests watch the calls).
  void SetModemLineControl(ModemLineControl control) { lineControl = std::move(control); }

  bool IsOpen() const { return handle >= 0; }
  bool ReceiveThreadRunning() const { return threadRunning.load(); }
  uint32_t BaudRate() const { return baudRate; }

  // Bytes the receive thread has queued since construction, and a wait for
  // that count to reach `total` (for callers that must know bytes arrived).
  uint64_t ReceivedTotal() const;
  bool WaitReceivedTotal(uint64_t total, uint32_t timeoutMs);

  // The path opened for a configured port name.
  static std::string DevicePathFor(const std::string& name);

  ByteQueue rxQueue;

 private:
  void ReceiveLoop();
  bool SetModemLine(ModemLine line, bool on);

  std::string portName;
  bool dtrOnOpen = false;
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
