#include "link/ccom.h"

namespace skyh {

CCom::CCom(Transport& transport) : transport_(transport) {}
CCom::~CCom() = default;

bool CCom::Write(const uint8_t* data, uint16_t length) { return transport_.Write(data, length); }

uint16_t CCom::Read(uint8_t* buffer, uint32_t timeoutMs) {
  return transport_.Read(buffer, kLinkChunkBytes, timeoutMs);
}

bool CCom::Open() {
  lastError.clear();
  if (connected) return true;
  if (!transport_.Open()) {
    lastError = transport_.LastError();
    return false;
  }
  connected = true;
  // It may be another line now.
  echoState_ = EchoState::kUnknown;
  return true;
}

bool CCom::Close() {
  transport_.Close();
  connected = false;
  return true;
}

}  // namespace skyh
