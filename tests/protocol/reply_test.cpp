// Which replies the engine accepts, how waits end, and the record step.
#include "protocol/reply_parser.h"

#include <cctype>
#include <cstdio>

#include "protocol/engine_test_util.h"
#include "sim_crc16.h"
#include "support/test_common.h"

namespace skyh {
namespace {

using namespace test;

// Feeds `stream` to a parser in chunks of `chunk` bytes until a frame ends.
int FeedInChunks(const Bytes& stream, size_t chunk, Bytes* decoded = nullptr) {
  std::vector<uint8_t> buffer(66, 0);
  ReplyParser parser(buffer.data(), 64);
  int result = ReplyParser::kIncomplete;
  for (size_t pos = 0; pos < stream.size();) {
    size_t used = 0;
    result = parser.Feed(stream.data() + pos, std::min(chunk, stream.size() - pos), &used);
    pos += used;
    if (result == ReplyParser::kComplete || result == ReplyParser::kBadChecksum) break;
  }
  if (decoded) decoded->assign(buffer.begin(), buffer.begin() + parser.Count());
  return result;
}

TEST(ReplyParser, AnyChunkingNoiseAndTrailers) {
  const Bytes frame = BuildFrame(0x33, 0x47, {0x00, 0x17, 0x01, 0xFF, 0x04});
  for (size_t chunk = 1; chunk <= frame.size(); ++chunk) {
    Bytes decoded;
    ASSERT_EQ(FeedInChunks(frame, chunk, &decoded), ReplyParser::kComplete) << "chunk " << chunk;
    EXPECT_EQ(decoded, (Bytes{0x47, 0x00, 0x17, 0x01, 0xFF, 0x04}));
  }
  // Noise and a broken header before the frame are harmless.
  EXPECT_EQ(FeedInChunks(Concat({'x', 0x17, 0x03, 0xFF, 0x01, 0x99}, frame), 3), ReplyParser::kComplete);
  // Only the last byte before STX is the sequence number, and it is checked.
  Bytes twoBytes = frame;
  twoBytes.insert(twoBytes.begin() + 1, 0x55);
  EXPECT_EQ(FeedInChunks(twoBytes, 100), ReplyParser::kComplete);
  Bytes wrongSeq = frame;
  wrongSeq[1] = 0x22;
  EXPECT_EQ(FeedInChunks(wrongSeq, 100), ReplyParser::kBadChecksum);
  Bytes five = frame;
  five.insert(five.end() - 1, '0');
  EXPECT_EQ(FeedInChunks(five, 100), ReplyParser::kIncomplete) << "five trailer characters";
}

TEST(ReplyWait, FlaggedLowerCaseForeignFramesEotAndAStrayEtx) {
  MemoryLink link;
  link.SetResponder([](const WireFrame& f) {
    Bytes frame = BuildFrame(f.sequence, 0xC7, {0xAB, 0xCD, 0xEF});
    const size_t etb = frame.size() - 6;
    for (size_t i = 4; i < etb; ++i) frame[i] = static_cast<uint8_t>(std::tolower(frame[i]));
    // The checksum covers the digits as sent, and is sent in lower case too.
    const uint16_t crc = sim::BoxCrc16(&frame[3], etb - 3, sim::BoxCrc16(&frame[1], 1));
    std::snprintf(reinterpret_cast<char*>(&frame[etb + 1]), 5, "%02x%02x", crc & 0xFF, crc >> 8);
    frame[etb + 5] = 0x03;
    return frame;
  });
  Bytes settings;
  ASSERT_EQ(link.GetSettings(settings), ComResult::kOk);
  EXPECT_EQ(settings, (Bytes{0xAB, 0xCD, 0xEF}));
  // A foreign frame first, in the same chunk; the reply's sequence number
  // is not compared with the request's.
  Reply(link, Concat(BuildFrame(0x21, kCmdGetDateTime, {1, 2, 3, 4, 5, 6}), BuildFrame(0x50, kCmdGetSettings, {7, 8})));
  ASSERT_EQ(link.GetSettings(settings), ComResult::kOk);
  EXPECT_EQ(settings, (Bytes{7, 8}));

  LearnNoEcho(link);
  Reply(link, {0x01, 0x30, 0x02, 0xCB, 0x04});
  uint64_t start = link.Manual().NowMs();
  EXPECT_EQ(link.EndSession(), ComResult::kOk);
  EXPECT_EQ(link.ReplyLength(), 1);
  EXPECT_EQ(link.Manual().NowMs(), start) << "accepted at once";

  // ETX after ETB and two checksum characters is ignored: silence.
  const Bytes good = BuildFrame(0x21, kCmdGetSettings, {0x42});
  Bytes cut(good.begin(), good.end() - 3);
  cut.push_back(0x03);
  Reply(link, cut);
  settings = {1};
  EXPECT_EQ(link.GetSettings(settings), ComResult::kTimeout);
  EXPECT_EQ(settings, (Bytes{1})) << "untouched on failure";
  // A correct ETX after the stray one completes the frame.
  cut.pop_back();
  Reply(link, Concat(Concat(cut, {0x03}), Bytes(good.end() - 3, good.end())));
  ASSERT_EQ(link.GetSettings(settings), ComResult::kOk);
  EXPECT_EQ(settings, (Bytes{0x42}));
}

// Two passes only to confirm "no record", never after a failed pass, so the
// box is not stepped past a record that was asked for.
TEST(RecordStep, NoRecordIsConfirmedOnceAndAFailedPassEndsAtOnce) {
  MemoryLink link;
  LearnNoEcho(link);  // takes 0x21
  AnswerWith(link, {0x99}, 0x44);
  Bytes record{7};
  EXPECT_EQ(link.GetPreviousRecord(record), ComResult::kNoRecord);
  ASSERT_EQ(link.Frames().size(), 2u);
  EXPECT_EQ(link.Frames()[1].sequence, 0x23);
  EXPECT_EQ(record, (Bytes{7}));
  // The second pass may still find a record.
  int n = 0;
  link.SetResponder([&](const WireFrame& f) {
    return ++n == 1 ? BuildFrame(f.sequence, 0x44, {}) : BuildFrame(f.sequence, 0xC4, {1});
  });
  EXPECT_EQ(link.GetPreviousRecord(record), ComResult::kOk);
  EXPECT_EQ(record, (Bytes{1}));
  // A record may be empty.
  link.SetResponder([](const WireFrame& f) { return Bytes{0x01, f.sequence, 0x02, 0xC4, 0x04}; });
  EXPECT_EQ(link.GetPreviousRecord(record), ComResult::kOk);
  EXPECT_TRUE(record.empty());

  MemoryLink damaged;
  LearnNoEcho(damaged);  // takes 0x21
  damaged.SetResponder([](const WireFrame& f) {
    Bytes r = BuildFrame(f.sequence, 0xC4, {1, 2, 3});
    r[4] ^= 0x01;
    return r;
  });
  const uint64_t start = damaged.Manual().NowMs();
  EXPECT_EQ(damaged.GetPreviousRecord(record), ComResult::kChecksumError);
  EXPECT_EQ(damaged.Manual().NowMs(), start) << "a checksum error ends each wait at once";
  ASSERT_EQ(damaged.Frames().size(), 2u) << "two attempts, no second pass";
  EXPECT_EQ(damaged.Sequence(), 0x23);
  damaged.SetResponder(nullptr);
  damaged.ClearRecord();
  EXPECT_EQ(damaged.GetPreviousRecord(record), ComResult::kTimeout);
  ASSERT_EQ(damaged.Frames().size(), 2u);
  EXPECT_EQ(damaged.Frames()[1].sequence, 0x23);
  EXPECT_EQ(damaged.Sequence(), 0x24);
}

}  // namespace
}  // namespace skyh
