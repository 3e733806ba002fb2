#pragma once
// The boot loader's code area: erased, written block by block (undoing the
// host's scrambling with the key bytes the box reported), read back.
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace skyh::sim {

class CodeFlash {
 public:
  // Starts a new image. With no key bytes, blocks are stored as they come.
  void Erase(std::vector<uint8_t> keyBytes, bool unscramble);
  // Stores one block at `address`. The key stream runs over every block in
  // address order, including blocks the host skipped because they were all
  // 0xFF once scrambled: those advance it too and are stored as such a block
  // unscrambled. Rewriting a block restarts from that block's key state.
  void Write(uint32_t address, const uint8_t* block, size_t size);

  bool erased() const { return erased_; }
  // Written bytes up to the end of the highest block; unwritten bytes read 0xFF.
  const std::vector<uint8_t>& image() const { return image_; }
  // The first `length` bytes, 0xFF where nothing was written.
  std::vector<uint8_t> Image(size_t length) const;
  int blocksWritten() const { return blocks_; }

  static constexpr size_t kCapacity = 1u << 20;

 private:
  uint8_t NextKeyByte(size_t indexInBlock);

  std::vector<uint8_t> key_;
  bool unscramble_ = false;
  bool erased_ = false;
  uint16_t state_ = 0;
  uint32_t streamAddress_ = 0;     // address the key stream has reached
  std::map<uint32_t, uint16_t> stateAt_;
  std::vector<uint8_t> image_;
  int blocks_ = 0;
};

}  // namespace skyh::sim
