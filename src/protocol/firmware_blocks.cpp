#include "protocol/firmware_blocks.h"

#include <algorithm>

namespace skyh {

uint16_t RoundBlockSize(uint16_t reported) {
  if (reported >= 2048) return 2048;
  if (reported >= 1024) return 1024;
  if (reported >= 512) return 512;
  return 256;
}

void ScrambleBlock(uint16_t& state, uint8_t* block, size_t n, const uint8_t* keyBytes, int keyLength) {
  if (!block || !keyBytes || keyLength <= 0) return;
  size_t length = static_cast<size_t>(keyLength);
  for (size_t i = 0; i < n; ++i) {
    for (size_t j = 0; j < length; ++j) {
      uint16_t x = static_cast<uint16_t>((keyBytes[(i + 3 + j) % length] << 8) ^ state);
      for (int bit = 0; bit < 8; ++bit)
        x = (x & 0x8000) ? static_cast<uint16_t>((x << 1) ^ 0x1021) : static_cast<uint16_t>(x << 1);
      state = x;
    }
    block[i] ^= static_cast<uint8_t>(state & 0xFF);
  }
}

bool IsErasedBlock(const uint8_t* block, size_t size) {
  return std::all_of(block, block + size, [](uint8_t b) { return b == 0xFF; });
}

}  // namespace skyh
