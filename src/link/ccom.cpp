#include "link/ccom.h"

namespace skyh {

CCom::CCom() = default;
CCom::~CCom() = default;

void CCom::DiscardReceived() {
  uint8_t scratch[kLinkChunkBytes];
  // Bounded, so that a line that never falls silent cannot hold us here.
  for (int i = 0; i < 16; ++i) {
    if (Read(scratch, 0) == 0) break;
  }
}

void CCom::MarkOpened() {
  connected = 1;
  echoState_ = EchoState::kUnknown;
}

uint16_t CCom::ReadFromQueue(ByteQueue& queue, uint8_t* buffer, uint32_t timeoutMs) {
  if (!queue.WaitForData(timeoutMs, Clock())) return 0;
  // The signal may be left over from bytes already taken.
  if (queue.Count() == 0) return 0;
  return queue.GetBlock(buffer, kLinkChunkBytes);
}

}  // namespace skyh
