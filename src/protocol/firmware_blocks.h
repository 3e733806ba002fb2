#pragma once
// How code blocks are shaped for the boot loader: block size, scrambling with
// the boot loader's key bytes, and the erased-block test.
#include <cstddef>
#include <cstdint>

namespace skyh {

// The boot loader's block size rounded down to 2048, 1024, 512 or 256
// (never below 256).
uint16_t RoundBlockSize(uint16_t reported);

// Scrambles the first `n` bytes of `block` with the key bytes; `state`
// carries over from one block to the next within one image. With no key
// bytes the block is left as it is.
void ScrambleBlock(uint16_t& state, uint8_t* block, size_t n, const uint8_t* keyBytes, int keyLength);

// True when every byte is 0xFF: erased flash, nothing to send.
bool IsErasedBlock(const uint8_t* block, size_t size);

}  // namespace skyh
