#pragma once
// A serial line reached over TCP, from a port name "socket://HOST:PORT" (the
// line's raw bytes) or "rfc2217://HOST:PORT" (Telnet with the COM-PORT-OPTION,
// which also sets the device server's line to 9600 8N1). HOST is a name, an
// IPv4 address or an IPv6 address in brackets.
//
// A connection that ends while open is a lost line, as a vanished serial
// device: nothing more is received, so the reply wait runs out and the
// retrieval reconnects (Close, then Open: a new connection).
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/byte_queue.h"
#include "link/telnet_codec.h"
#include "link/transport.h"

namespace skyh {

struct NetworkAddress {
  bool telnet = false;  // rfc2217://
  std::string host;     // without the brackets of an IPv6 address
  uint16_t port = 0;
};

// Whether `name` names a network line rather than a local port.
bool IsNetworkPortName(const std::string& name);
// Splits a network port name; false with `error` (a whole message) when it
// is not "socket://HOST:PORT" or "rfc2217://HOST:PORT" with PORT in 1..65535.
bool ParseNetworkPortName(const std::string& name, NetworkAddress& out, std::string& error);

class NetworkLine : public SerialLine {
 public:
  // The whole connect, over every address the host has.
  static constexpr uint32_t kConnectTimeoutMs = 5000;
  // How long Open watches a fresh connection for a server that closes it at
  // once or answers with garbage.
  static constexpr uint32_t kSettleMs = 200;
  // The device server's line.
  static constexpr uint32_t kBaudRate = 9600;

  NetworkLine();
  ~NetworkLine() override;

  bool Open() override;
  // Bounded: nothing waits for the peer.
  void Close() override;
  // False only when closed. Once the connection is lost the bytes go
  // nowhere, as on a cut line, and the reply wait runs out.
  bool Write(const uint8_t* data, uint16_t length) override;
  uint16_t Read(uint8_t* buffer, uint16_t size, uint32_t timeoutMs) override;
  // Drops what is queued here and, over Telnet, what the server holds.
  void Purge() override;
  std::string Description(bool open) override;
  uint32_t LineBitRate() const override { return kBaudRate; }

  void SetPortName(const std::string& name) { portName = name; }
  const std::string& PortName() const override { return portName; }
  void SetDtrOnOpen(bool on) override { dtrOnOpen = on; }
  // Through the COM-PORT-OPTION; a raw line has none, which is no error.
  bool SetRts(bool on) override;
  bool SetDtr(bool on) override;

  bool IsOpen() const { return handle >= 0; }
  // The connection ended (or the server spoke garbage) while open.
  bool Lost() const;
  // Waits in real time for the loss to be noticed (for callers that must
  // know it was).
  bool WaitLost(uint32_t timeoutMs);

 private:
  // Tries every address of the host until one connects; -1 with lastError.
  int Connect(const NetworkAddress& address);
  // Writes all of `bytes` within a few seconds (wireLock held); false when
  // the peer does not take them or the connection is gone.
  bool SendAll(const std::vector<uint8_t>& bytes);
  void ReceiveLoop();
  void MarkLost(const std::string& why);

  std::string portName;
  bool telnet = false;
  bool dtrOnOpen = false;
  int handle = -1;
  int stopEvent = -1;  // eventfd that wakes the receive thread and a stuck send
  std::thread receiveThread;
  ByteQueue rxQueue;

  // One writer on the socket at a time; also guards the codec, so that its
  // answers leave in the order it made them.
  std::mutex wireLock;
  TelnetCodec codec{kBaudRate};

  mutable std::mutex stateLock;
  std::condition_variable stateSignal;
  bool lost = false;
  std::string lostWhy;    // garbage, or empty for an ended connection
  std::string firstText;  // the first bytes received, for the message of a refusal
};

}  // namespace skyh
