// The reply decoder on its own, fed in arbitrary chunks.
#include "protocol/reply_parser.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/memory_link.h"

namespace skyh {
namespace {

using test::BuildFrame;
using Bytes = std::vector<uint8_t>;

struct Outcome {
  int result;
  Bytes decoded;
};

// Feeds `stream` in chunks of `chunk` bytes until a frame ends.
Outcome FeedInChunks(const Bytes& stream, size_t chunk, uint16_t capacity = 64) {
  std::vector<uint8_t> buffer(capacity + 2u, 0);
  ReplyParser parser(buffer.data(), capacity);
  int result = ReplyParser::kIncomplete;
  for (size_t pos = 0; pos < stream.size();) {
    size_t n = std::min(chunk, stream.size() - pos);
    size_t used = 0;
    result = parser.Feed(stream.data() + pos, n, &used);
    pos += used;
    if (result == ReplyParser::kComplete || result == ReplyParser::kBadChecksum) break;
  }
  return {result, Bytes(buffer.begin(), buffer.begin() + parser.Count())};
}

TEST(ReplyParser, SameResultWhateverTheChunking) {
  const Bytes frame = BuildFrame(0x33, 0x47, {0x00, 0x17, 0x01, 0xFF, 0x04});
  for (size_t chunk = 1; chunk <= frame.size(); ++chunk) {
    Outcome o = FeedInChunks(frame, chunk);
    ASSERT_EQ(o.result, ReplyParser::kComplete) << "chunk " << chunk;
    EXPECT_EQ(o.decoded, (Bytes{0x47, 0x00, 0x17, 0x01, 0xFF, 0x04}));
  }
}

TEST(ReplyParser, NoiseBeforeAndInsideTheHeaderIsHarmless) {
  Bytes stream = {'x', 0x17, 0x03, 0xFF, 0x01, 0x99};  // noise, then a broken header
  Bytes frame = BuildFrame(0x21, 0x41, {1, 2});
  stream.insert(stream.end(), frame.begin(), frame.end());
  Outcome o = FeedInChunks(stream, 3);
  ASSERT_EQ(o.result, ReplyParser::kComplete);
  EXPECT_EQ(o.decoded, (Bytes{0x41, 1, 2}));
  // Only the last byte before STX is the sequence number.
  Bytes twoBytes = frame;
  twoBytes.insert(twoBytes.begin() + 1, 0x55);
  EXPECT_EQ(FeedInChunks(twoBytes, 100).result, ReplyParser::kComplete);
  Bytes wrongSeq = frame;
  wrongSeq[1] = 0x22;
  EXPECT_EQ(FeedInChunks(wrongSeq, 100).result, ReplyParser::kBadChecksum);
}

TEST(ReplyParser, OverflowDropsTheFrameUntilTheNextSoh) {
  const uint16_t capacity = 8;  // command byte and 7 payload bytes
  Bytes fits = BuildFrame(0x21, 0x47, Bytes(7, 0xAB));
  Outcome o = FeedInChunks(fits, 5, capacity);
  ASSERT_EQ(o.result, ReplyParser::kComplete);
  EXPECT_EQ(o.decoded.size(), 8u);

  Bytes tooLong = BuildFrame(0x21, 0x47, Bytes(8, 0xAB));
  std::vector<uint8_t> buffer(capacity + 2u, 0);
  ReplyParser parser(buffer.data(), capacity);
  size_t used = 0;
  EXPECT_EQ(parser.Feed(tooLong.data(), tooLong.size(), &used), ReplyParser::kOverflow);
  EXPECT_LT(used, tooLong.size());
  // The rest of that frame, its ETX included, changes nothing.
  EXPECT_EQ(parser.Feed(tooLong.data() + used, tooLong.size() - used), ReplyParser::kIncomplete);
  Bytes next = BuildFrame(0x22, 0x47, {5});
  EXPECT_EQ(parser.Feed(next.data(), next.size()), ReplyParser::kComplete);
  EXPECT_EQ(parser.Count(), 2);
  EXPECT_EQ(buffer[1], 5);
  EXPECT_EQ(buffer[2], 0) << "nothing left of the dropped frame";
}

TEST(ReplyParser, TrailerNeedsExactlyFourCharacters) {
  Bytes frame = BuildFrame(0x21, 0x47, {1});
  Bytes five = frame;
  five.insert(five.end() - 1, '0');
  EXPECT_EQ(FeedInChunks(five, 100).result, ReplyParser::kIncomplete);
  ReplyParser none(nullptr, 10);
  EXPECT_EQ(none.Feed(frame.data(), frame.size()), ReplyParser::kNoBuffer);
}

}  // namespace
}  // namespace skyh
