#include <gtest/gtest.h>

#include <optional>

#include "control_box.h"
#include "fault_random.h"
#include "protocol/firmware_blocks.h"
#include "wire_helpers.h"

namespace skyh::sim {
namespace {

using test::Bytes;
using test::OneReply;
using test::Request;

// The host's block scrambling, as the program's firmware update does it.
struct HostScrambler {
  Bytes key;
  uint16_t state;
  explicit HostScrambler(Bytes k) : key(std::move(k)), state(key.empty() ? 0 : key.back()) {}
  void Scramble(uint8_t* block, size_t n) { ScrambleBlock(state, block, n, key.data(), int(key.size())); }
};

class BootTest : public ::testing::Test {
 protected:
  void Make(const BoxOptions& o) {
    box_ = std::make_unique<ControlBox>(o, [this] { return ms_; }, [] { return int64_t{1700000000}; });
  }
  test::Reply Ask(uint8_t cmd, const Bytes& payload = {}) {
    box_->Receive(Request(NextSeq(), cmd, payload));
    return OneReply(box_->TakeOutput());
  }
  uint8_t NextSeq() {
    const uint8_t s = seq_;
    seq_ = seq_ == 0x7F ? 0x21 : seq_ + 1;
    return s;
  }
  // Wake-up frame in front of GetFirmwareVersion, as one write.
  test::Reply WakeAndAskVersion() {
    Bytes wire = {0x55, 0x55, 0x00, 0x00, 0x00, 0x04};
    const Bytes cmd = Request(NextSeq(), 0x3E);
    wire.insert(wire.end(), cmd.begin(), cmd.end());
    box_->Receive(wire);
    return OneReply(box_->TakeOutput());
  }
  struct Info {
    uint8_t mode = 0xEE, version = 0xEE;
    uint16_t blockSize = 0;
    Bytes key;
  };
  Info BootInfo() {
    const Bytes p = Ask(0x49).payload;
    if (p.size() < 4) {
      Info info;
      if (!p.empty()) info.mode = p[0];
      return info;
    }
    return {p[0], p[3], static_cast<uint16_t>(p[1] | p[2] << 8), Bytes(p.begin() + 4, p.end())};
  }
  // Erase, blocks (skipping those that are all 0xFF once prepared), checksum.
  int WriteImage(const Bytes& image, size_t blockSize, const Bytes* key) {
    EXPECT_EQ(Ask(0x22).cmd, 0x22);
    std::optional<HostScrambler> s;
    if (key) s.emplace(*key);
    int skipped = 0;
    for (size_t offset = 0; offset < image.size(); offset += blockSize) {
      Bytes block(blockSize, 0xFF);
      const size_t n = std::min(blockSize, image.size() - offset);
      std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(offset), n, block.begin());
      if (s) s->Scramble(block.data(), n);
      if (std::all_of(block.begin(), block.end(), [](uint8_t b) { return b == 0xFF; })) {
        ++skipped;
        continue;
      }
      Bytes payload = {static_cast<uint8_t>(offset >> 16), static_cast<uint8_t>(offset >> 8), static_cast<uint8_t>(offset)};
      payload.insert(payload.end(), block.begin(), block.end());
      EXPECT_EQ(Ask(0x23, payload).cmd, 0x23);
    }
    EXPECT_EQ(Ask(0x28).cmd, 0x28);
    return skipped;
  }

  int64_t ms_ = 0;
  std::unique_ptr<ControlBox> box_;
  uint8_t seq_ = 0x21;
};

Bytes RandomImage(size_t n, uint64_t seed) {
  FaultRandom r(seed);
  Bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(r.Next());
  return b;
}

// The program's update steps and whole updates check skipped blocks, the key
// stream and the images the box ends with; here the box's own corners.
TEST_F(BootTest, BoxWithoutBootLoaderTakesThePlainImageThenTheBootBlock) {
  BoxOptions o;
  o.boot.installed = false;
  o.boot.version = 0;
  o.boot.versionAfterBootBlock = 4;
  o.boot.blockSize = 256;
  o.boot.rebootMs = 1000;
  Make(o);
  WakeAndAskVersion();
  EXPECT_EQ(BootInfo().mode, 0);  // the application runs: mode 0 despite the wake-up
  // The application-mode image goes in plain; all-0xFF blocks are skipped.
  Bytes appMode = RandomImage(256 * 3, 9);
  std::fill(appMode.begin() + 256, appMode.begin() + 512, 0xFF);
  EXPECT_EQ(WriteImage(appMode, 256, nullptr), 1);
  Ask(0x26);
  EXPECT_EQ(box_->applicationImage(), appMode);
  // Rebooting: deaf, even to a request whose answer would be due afterwards.
  EXPECT_TRUE(box_->rebooting());
  ms_ += 500;
  box_->Receive(Request(NextSeq(), 0x3E));
  ms_ += 1000;
  EXPECT_TRUE(box_->TakeOutput().empty());
  EXPECT_FALSE(box_->rebooting());

  WakeAndAskVersion();
  Info info = BootInfo();
  ASSERT_EQ(info.mode, 1);
  EXPECT_EQ(info.version, 0);
  const Bytes bootBlock = RandomImage(4096, 10);
  WriteImage(bootBlock, info.blockSize, &info.key);
  EXPECT_EQ(Ask(0x29).cmd, 0x29);
  EXPECT_EQ(box_->bootBlockImage(), bootBlock);
  EXPECT_FALSE(box_->rebooting());
  info = BootInfo();
  EXPECT_EQ(info.version, 4);

  const Bytes code = RandomImage(1000, 11);  // last block partly padding
  WriteImage(code, info.blockSize, &info.key);
  Ask(0x26);
  EXPECT_EQ(Bytes(box_->applicationImage().begin(), box_->applicationImage().begin() + 1000), code);
  EXPECT_EQ(box_->applicationImage().size(), 1024u);  // up to the end of the last block
  ms_ += 1500;
  EXPECT_EQ(WakeAndAskVersion().payload, (Bytes{2, 2, 0}));  // minor number up by one
}

TEST_F(BootTest, RewrittenBlockRestartsFromItsKeyState) {
  BoxOptions o;
  o.boot.blockSize = 256;
  Make(o);
  WakeAndAskVersion();
  const Info info = BootInfo();
  const Bytes image = RandomImage(768, 3);
  WriteImage(image, 256, &info.key);
  // The host sends block 1 again (after a reconnection, with a new number).
  HostScrambler s(info.key);
  Bytes blocks = image;
  s.Scramble(blocks.data(), 256);
  s.Scramble(blocks.data() + 256, 256);
  Bytes payload = {0, 1, 0};
  payload.insert(payload.end(), blocks.begin() + 256, blocks.begin() + 512);
  Ask(0x23, payload);
  EXPECT_EQ(box_->codeFlash().Image(768), image);
}

}  // namespace
}  // namespace skyh::sim
