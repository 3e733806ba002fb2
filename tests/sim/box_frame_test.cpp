#include "box_frame.h"

#include <cstdio>

#include "protocol/crc16.h"
#include "support/test_common.h"
#include "wire_helpers.h"

namespace skyh::sim {
namespace {

using test::Bytes;

std::vector<HostFrame> Decode(HostFrameDecoder& d, const Bytes& wire, size_t chunk = SIZE_MAX) {
  std::vector<HostFrame> frames;
  for (size_t p = 0; p < wire.size(); p += chunk) d.Feed(wire.data() + p, std::min(chunk, wire.size() - p), frames);
  return frames;
}

// The reply encoder meets the program's reply parser, whose wire examples
// are checked by hand, in every exchange of the link tests.
TEST(BoxFrame, DecodesCommandFramesWhateverTheChunking) {
  // "I" with sequence 0x21, as the host sends it, then a frame with a payload.
  const Bytes both = Bytes{0x01, 0x21, 0x02, 0x49, 0x17, 0x44, 0x39, 0x41, 0x36, 0x03} +
                     test::Request(0x33, 0x48, {0x00, 0x02, 0xAA, 0xBB, 0xCC});
  for (size_t chunk : {size_t{1}, size_t{3}, both.size()}) {
    HostFrameDecoder d;
    const auto frames = Decode(d, both, chunk);
    ASSERT_EQ(frames.size(), 2u) << "chunk " << chunk;
    EXPECT_TRUE(frames[0].command == 0x49 && frames[0].sequence == 0x21 && frames[0].payload.empty());
    EXPECT_TRUE(frames[0].checksumOk && frames[1].checksumOk);
    EXPECT_EQ(frames[1].payload, (Bytes{0x00, 0x02, 0xAA, 0xBB, 0xCC}));
  }
  // Lower-case digits are accepted and covered as sent.
  const uint8_t covered[] = {0x21, 0x42, 'a', 'b'};
  const uint16_t crc = Crc16Arc(covered, sizeof covered);
  char sum[5];
  std::snprintf(sum, sizeof sum, "%02X%02X", crc & 0xFF, crc >> 8);
  HostFrameDecoder d;
  const auto frames = Decode(d, Bytes{0x01, 0x21, 0x02, 0x42, 'a', 'b', 0x17} + Bytes(sum, sum + 4) + Bytes{0x03});
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_TRUE(frames[0].checksumOk);
  EXPECT_EQ(frames[0].payload, Bytes{0xAB});
}

TEST(BoxFrame, FlagsBadChecksumsAndDropsMalformedFrames) {
  HostFrameDecoder d;
  Bytes bad = test::Request(0x21, 0x47);
  bad[6] ^= 0x01;  // one checksum digit changed
  auto frames = Decode(d, bad);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_FALSE(frames[0].checksumOk);

  // Non-hex digit, odd digit count, short trailer; a good frame right after garbage still decodes.
  frames = Decode(d, Bytes{0x01, 0x21, 0x02, 0x48, '0', 'X', 0x17, '0', '0', '0', '0', 0x03} +
                         Bytes{0x01, 0x21, 0x02, 0x48, '0', 0x17, '0', '0', '0', '0', 0x03} +
                         Bytes{0x01, 0x21, 0x02, 0x48, 0x17, '0', '0', 0x03} + Bytes{0xFF, 0x17, 0x03, 0x02} +
                         test::Request(0x22, 0x41));
  EXPECT_EQ(d.malformedCount(), 3);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].command, 0x41);

  // An endless payload is cut off instead of growing without bound.
  HostFrameDecoder big;
  Bytes flood = {0x01, 0x21, 0x02, 0x23};
  flood.resize(flood.size() + 2 * HostFrameDecoder::kMaxPayload + 10, '5');
  EXPECT_TRUE(Decode(big, flood).empty());
  EXPECT_EQ(big.malformedCount(), 1);
}

TEST(BoxFrame, SplitsRawBootLoaderFramesFromCommandFrames) {
  HostFrameDecoder d;
  // The wake-up frame in front of the next command in one write; then escaped
  // data bytes 55, 04, 05 and an unescaped SOH inside a raw frame (sum 0x5F,
  // check byte 0xA1); then a raw frame with a bad sum.
  const auto frames = Decode(d, Bytes{0x55, 0x55, 0x00, 0x00, 0x00, 0x04} + test::Request(0x25, 0x3E) +
                                    Bytes{0x55, 0x55, 0x05, 0x55, 0x05, 0x04, 0x05, 0x05, 0x01, 0xA1, 0x04} +
                                    Bytes{0x55, 0x55, 0x01, 0x02, 0x04});
  ASSERT_EQ(frames.size(), 4u);
  EXPECT_TRUE(frames[0].kind == HostFrame::Kind::Raw && frames[0].checksumOk && frames[0].payload == (Bytes{0, 0}));
  EXPECT_TRUE(frames[1].kind == HostFrame::Kind::Command && frames[1].command == 0x3E);
  EXPECT_TRUE(frames[2].checksumOk && frames[2].payload == (Bytes{0x55, 0x04, 0x05, 0x01}));
  EXPECT_FALSE(frames[3].checksumOk);
}

}  // namespace
}  // namespace skyh::sim
