#include "code_flash.h"

#include <algorithm>

namespace skyh::sim {

void CodeFlash::Erase(std::vector<uint8_t> keyBytes, bool unscramble) {
  key_ = std::move(keyBytes);
  unscramble_ = unscramble && !key_.empty();
  erased_ = true;
  state_ = key_.empty() ? 0 : key_.back();
  streamAddress_ = 0;
  stateAt_.clear();
  image_.clear();
  blocks_ = 0;
}

uint8_t CodeFlash::NextKeyByte(size_t i) {
  const size_t n = key_.size();
  for (size_t j = 0; j < n; ++j) {
    uint16_t x = static_cast<uint16_t>((key_[(i + 3 + j) % n] << 8) ^ state_);
    for (int k = 0; k < 8; ++k) x = (x & 0x8000) ? static_cast<uint16_t>((x << 1) ^ 0x1021) : static_cast<uint16_t>(x << 1);
    state_ = x;
  }
  return static_cast<uint8_t>(state_ & 0xFF);
}

void CodeFlash::Write(uint32_t address, const uint8_t* block, size_t size) {
  if (size == 0 || address >= kCapacity || size > kCapacity - address) return;
  std::vector<uint8_t> plain(block, block + size);
  if (unscramble_) {
    auto known = stateAt_.find(address);
    if (known != stateAt_.end()) {
      state_ = known->second;
      streamAddress_ = address;
    }
    // A block the host left out was all 0xFF once scrambled: it still moved
    // the key stream, and its plain bytes are 0xFF unscrambled.
    if (image_.size() < address) image_.resize(address, 0xFF);
    while (streamAddress_ < address) {
      stateAt_[streamAddress_] = state_;
      const size_t skip = std::min<size_t>(size, address - streamAddress_);
      for (size_t i = 0; i < skip; ++i) image_[streamAddress_ + i] = static_cast<uint8_t>(0xFF ^ NextKeyByte(i));
      streamAddress_ += static_cast<uint32_t>(skip);
    }
    stateAt_[address] = state_;
    for (size_t i = 0; i < size; ++i) plain[i] ^= NextKeyByte(i);
    streamAddress_ = address + static_cast<uint32_t>(size);
  }
  if (image_.size() < address + size) image_.resize(address + size, 0xFF);
  std::copy(plain.begin(), plain.end(), image_.begin() + address);
  ++blocks_;
}

std::vector<uint8_t> CodeFlash::Image(size_t length) const {
  std::vector<uint8_t> out(length, 0xFF);
  std::copy_n(image_.begin(), std::min(length, image_.size()), out.begin());
  return out;
}

}  // namespace skyh::sim
