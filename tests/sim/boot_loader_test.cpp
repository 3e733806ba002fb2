// The boot loader's own corners; the program's update steps and whole
// updates check the rest (the boot block, skipped blocks, the key stream,
// the images).
#include "control_box.h"
#include "fault_random.h"
#include "protocol/firmware_blocks.h"
#include "support/test_common.h"
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

TEST(BootLoader, CodeWithARewrittenBlockThenTheReboot) {
  int64_t ms = 0;
  BoxOptions o;
  o.boot.blockSize = 256;
  o.boot.rebootMs = 1000;
  ControlBox box(
      o, [&ms] { return ms; }, [] { return int64_t{1700000000}; });
  uint8_t seq = 0x21;
  auto ask = [&](uint8_t cmd, const Bytes& payload = {}) {
    box.Receive(Request(seq++, cmd, payload));
    return OneReply(box.TakeOutput());
  };
  auto wakeAndAskVersion = [&] {  // the wake-up frame in front of GetFirmwareVersion, as one write
    box.Receive(Bytes{0x55, 0x55, 0x00, 0x00, 0x00, 0x04} + Request(seq++, 0x3E));
    return OneReply(box.TakeOutput());
  };
  // Erase, scrambled blocks, checksum.
  auto writeImage = [&](const Bytes& image, const Bytes& key) {
    EXPECT_EQ(ask(0x22).cmd, 0x22);
    HostScrambler s(key);
    for (size_t offset = 0; offset < image.size(); offset += 256) {
      Bytes block(256, 0xFF);
      const size_t n = std::min<size_t>(256, image.size() - offset);
      std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(offset), n, block.begin());
      s.Scramble(block.data(), n);
      EXPECT_EQ(ask(0x23, Bytes{0, uint8_t(offset >> 8), uint8_t(offset)} + block).cmd, 0x23);
    }
    EXPECT_EQ(ask(0x28).cmd, 0x28);
  };

  wakeAndAskVersion();
  Bytes info = ask(0x49).payload;  // mode, block size, version, key
  ASSERT_GE(info.size(), 4u);
  EXPECT_EQ(info[0], 1);
  EXPECT_EQ(info[1] | info[2] << 8, 256);
  const Bytes key(info.begin() + 4, info.end());

  // The last block partly padding; block 1 sent again (after a reconnection,
  // with a new number) restarts from its own key state.
  Bytes code(1000);
  FaultRandom random(11);
  for (auto& x : code) x = static_cast<uint8_t>(random.Next());
  writeImage(code, key);
  HostScrambler s(key);
  Bytes blocks(code.begin(), code.begin() + 512);
  s.Scramble(blocks.data(), 256);
  s.Scramble(blocks.data() + 256, 256);
  ask(0x23, Bytes{0, 1, 0} + Bytes(blocks.begin() + 256, blocks.end()));
  ask(0x26);
  EXPECT_EQ(Bytes(box.applicationImage().begin(), box.applicationImage().begin() + 1000), code);
  EXPECT_EQ(box.applicationImage().size(), 1024u);  // up to the end of the last block
  // Rebooting: deaf, even to a request whose answer would be due afterwards.
  EXPECT_TRUE(box.rebooting());
  ms += 500;
  box.Receive(Request(seq++, 0x3E));
  ms += 1000;
  EXPECT_TRUE(box.TakeOutput().empty());
  EXPECT_EQ(wakeAndAskVersion().payload, (Bytes{2, 2, 0}));  // minor number up by one
}

}  // namespace
}  // namespace skyh::sim
