#include "box_frame.h"

#include <gtest/gtest.h>

#include "sim_crc16.h"
#include "wire_helpers.h"

namespace skyh::sim {
namespace {

using test::Bytes;

TEST(BoxFrame, ChecksumAndReplyEncodingMatchTheWireExamples) {
  const char check[] = "123456789";
  EXPECT_EQ(BoxCrc16(reinterpret_cast<const uint8_t*>(check), 9), 0xBB3D);
  // Reply to 0x3E, sequence 0x21, payload 01 04 02: checksum 0x38BF sent as "BF" "38".
  EXPECT_EQ(EncodeReplyFrame(0x21, 0x3E, Bytes{1, 4, 2}),
            (Bytes{0x01, 0x21, 0x02, 0x3E, '0', '1', '0', '4', '0', '2', 0x17, 'B', 'F', '3', '8', 0x03}));
  // An empty payload gives ten bytes; upper-case digits in the payload.
  EXPECT_EQ(EncodeReplyFrame(0x21, 0x49, Bytes{}), (Bytes{0x01, 0x21, 0x02, 0x49, 0x17, 'D', '9', 'A', '6', 0x03}));
  const Bytes abc = EncodeReplyFrame(0x30, 0x47, Bytes{0xAB, 0xCD});
  EXPECT_EQ(std::string(abc.begin() + 4, abc.begin() + 8), "ABCD");
}

TEST(BoxFrame, DecodesCommandFramesWhateverTheChunking) {
  // "I" with sequence 0x21, as the host sends it.
  const Bytes i = {0x01, 0x21, 0x02, 0x49, 0x17, 0x44, 0x39, 0x41, 0x36, 0x03};
  const Bytes h = test::Request(0x33, 0x48, {0x00, 0x02, 0xAA, 0xBB, 0xCC});
  Bytes both = i;
  both.insert(both.end(), h.begin(), h.end());
  for (size_t chunk : {size_t{1}, size_t{3}, both.size()}) {
    HostFrameDecoder d;
    std::vector<HostFrame> frames;
    for (size_t p = 0; p < both.size(); p += chunk) d.Feed(both.data() + p, std::min(chunk, both.size() - p), frames);
    ASSERT_EQ(frames.size(), 2u) << "chunk " << chunk;
    EXPECT_EQ(frames[0].command, 0x49);
    EXPECT_EQ(frames[0].sequence, 0x21);
    EXPECT_TRUE(frames[0].checksumOk);
    EXPECT_TRUE(frames[0].payload.empty());
    EXPECT_EQ(frames[1].payload, (Bytes{0x00, 0x02, 0xAA, 0xBB, 0xCC}));
    EXPECT_TRUE(frames[1].checksumOk);
  }
  // Lower-case digits are accepted and covered as sent.
  HostFrameDecoder d;
  std::vector<HostFrame> frames;
  Bytes lower = {0x01, 0x21, 0x02, 0x42, 'a', 'b'};
  const uint16_t crc = test::Arc16({0x21, 0x42, 'a', 'b'});
  const std::string sum = test::Hex({static_cast<uint8_t>(crc), static_cast<uint8_t>(crc >> 8)});
  lower.push_back(0x17);
  lower.insert(lower.end(), sum.begin(), sum.end());
  lower.push_back(0x03);
  d.Feed(lower.data(), lower.size(), frames);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_TRUE(frames[0].checksumOk);
  EXPECT_EQ(frames[0].payload, Bytes{0xAB});
}

TEST(BoxFrame, FlagsBadChecksumsAndDropsMalformedFrames) {
  HostFrameDecoder d;
  std::vector<HostFrame> frames;
  Bytes bad = test::Request(0x21, 0x47);
  bad[6] ^= 0x01;  // one checksum digit changed
  d.Feed(bad.data(), bad.size(), frames);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_FALSE(frames[0].checksumOk);

  frames.clear();
  const Bytes nonHex = {0x01, 0x21, 0x02, 0x48, '0', 'X', 0x17, '0', '0', '0', '0', 0x03};
  const Bytes oddDigits = {0x01, 0x21, 0x02, 0x48, '0', 0x17, '0', '0', '0', '0', 0x03};
  const Bytes shortTrailer = {0x01, 0x21, 0x02, 0x48, 0x17, '0', '0', 0x03};
  for (const Bytes* b : {&nonHex, &oddDigits, &shortTrailer}) d.Feed(b->data(), b->size(), frames);
  EXPECT_TRUE(frames.empty());
  EXPECT_EQ(d.malformedCount(), 3);
  // A good frame right after garbage still decodes.
  const Bytes good = test::Request(0x22, 0x41);
  Bytes noise = {0xFF, 0x17, 0x03, 0x02};
  noise.insert(noise.end(), good.begin(), good.end());
  d.Feed(noise.data(), noise.size(), frames);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].command, 0x41);

  // An endless payload is cut off instead of growing without bound.
  HostFrameDecoder big;
  frames.clear();
  Bytes flood = {0x01, 0x21, 0x02, 0x23};
  flood.resize(flood.size() + 2 * HostFrameDecoder::kMaxPayload + 10, '5');
  big.Feed(flood.data(), flood.size(), frames);
  EXPECT_TRUE(frames.empty());
  EXPECT_EQ(big.malformedCount(), 1);
}

TEST(BoxFrame, SplitsRawBootLoaderFramesFromCommandFrames) {
  HostFrameDecoder d;
  std::vector<HostFrame> frames;
  // The wake-up frame travels in front of the next command, in one write.
  Bytes wire = {0x55, 0x55, 0x00, 0x00, 0x00, 0x04};
  const Bytes cmd = test::Request(0x25, 0x3E);
  wire.insert(wire.end(), cmd.begin(), cmd.end());
  // Escaped data bytes 55, 04, 05 and an unescaped SOH inside a raw frame;
  // data 55 04 05 01 sums to 0x5F, check byte 0xA1.
  const Bytes raw = {0x55, 0x55, 0x05, 0x55, 0x05, 0x04, 0x05, 0x05, 0x01, 0xA1, 0x04};
  wire.insert(wire.end(), raw.begin(), raw.end());
  const Bytes badSum = {0x55, 0x55, 0x01, 0x02, 0x04};
  wire.insert(wire.end(), badSum.begin(), badSum.end());
  d.Feed(wire.data(), wire.size(), frames);
  ASSERT_EQ(frames.size(), 4u);
  EXPECT_EQ(frames[0].kind, HostFrame::Kind::Raw);
  EXPECT_TRUE(frames[0].checksumOk);
  EXPECT_EQ(frames[0].payload, (Bytes{0, 0}));
  EXPECT_EQ(frames[1].kind, HostFrame::Kind::Command);
  EXPECT_EQ(frames[1].command, 0x3E);
  EXPECT_EQ(frames[2].payload, (Bytes{0x55, 0x04, 0x05, 0x01}));
  EXPECT_TRUE(frames[2].checksumOk);
  EXPECT_FALSE(frames[3].checksumOk);
}

}  // namespace
}  // namespace skyh::sim
