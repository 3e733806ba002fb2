#include "link/ccom_serial.h"

#include "core/format.h"

namespace skyh {

CComSerial::~CComSerial() { port.Close(); }

bool CComSerial::Write(const uint8_t* data, uint16_t length) { return port.Write(data, length); }

uint16_t CComSerial::Read(uint8_t* buffer, uint32_t timeoutMs) {
  return ReadFromQueue(port.rxQueue, buffer, timeoutMs);
}

void CComSerial::DiscardReceived() { port.rxQueue.Clear(); }

bool CComSerial::CheckPortName() {
  if (!portName.empty()) return true;
  lastError = "Error port name is empty";
  return false;
}

bool CComSerial::OpenPort() {
  if (!port.Open(portName)) {
    lastError = Sprintf("Error can't open port \"%s\"", portName);
    if (port.OpenFailedBusy()) lastError += ": it is busy (in use by another program)";
    return false;
  }
  if (!port.Configure(9600, 8, 0, 0)) {
    lastError = Sprintf("Error can't configure port \"%s\"", portName);
    port.Close();
    return false;
  }
  return true;
}

bool CComSerial::StartReceiving() {
  if (!port.StartReceiveThread()) {
    port.Close();
    lastError = "Error can't start receive thread";
    return false;
  }
  return true;
}

bool CComSerial::Open() {
  lastError.clear();
  if (connected) return true;
  if (!CheckPortName() || !OpenPort()) return false;
  // DTR stays low: some adapters power or reset the box from it. Both lines
  // are set before anything can be received.
  port.SetDtr(false);
  port.SetRts(true);
  if (!StartReceiving()) return false;
  MarkOpened();
  return true;
}

bool CComSerial::Close() {
  port.Close();
  connected = 0;
  return true;
}

std::string CComSerial::GetDescription() {
  if (portName.empty()) return "Unknown";
  return portName + (connected ? ": Connected" : ": Disconnected");
}

}  // namespace skyh
