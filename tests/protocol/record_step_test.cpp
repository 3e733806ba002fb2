// The record step (get previous record): two passes only to confirm "no
// record", never after a failed pass, so the box is not stepped past a
// record that was asked for.
#include <gtest/gtest.h>

#include <vector>

#include "protocol/command_codes.h"
#include "support/memory_link.h"

namespace skyh {
namespace {

using test::BuildFrame;
using test::MemoryLink;
using test::WireFrame;
using Bytes = std::vector<uint8_t>;

TEST(RecordStep, FlaggedReplyCarriesTheRecord) {
  MemoryLink link;
  link.SetResponder([](const WireFrame& f) { return BuildFrame(f.sequence, 0xC4, {0x10, 0x20}); });
  Bytes record;
  ASSERT_EQ(link.GetPreviousRecord(record), kComOk);
  EXPECT_EQ(record, (Bytes{0x10, 0x20}));
  ASSERT_EQ(link.Frames().size(), 1u);
  EXPECT_EQ(link.Frames()[0].bytes, BuildFrame(0x21, kCmdGetPreviousRecord, {}));
  EXPECT_EQ(link.Sequence(), 0x22);
}

TEST(RecordStep, NoRecordIsConfirmedByASecondPass) {
  MemoryLink link;
  link.SetResponder([](const WireFrame& f) { return BuildFrame(f.sequence, 0x44, {0x99}); });
  Bytes record{7};
  EXPECT_EQ(link.GetPreviousRecord(record), kComNoRecord);
  ASSERT_EQ(link.Frames().size(), 2u);
  EXPECT_EQ(link.Frames()[0].sequence, 0x21);
  EXPECT_EQ(link.Frames()[1].sequence, 0x22);
  EXPECT_EQ(link.Sequence(), 0x23);
  EXPECT_EQ(record, (Bytes{7}));

  // The second pass may still find a record.
  int n = 0;
  link.SetResponder([&](const WireFrame& f) {
    return ++n == 1 ? BuildFrame(f.sequence, 0x44, {}) : BuildFrame(f.sequence, 0xC4, {1});
  });
  EXPECT_EQ(link.GetPreviousRecord(record), kComOk);
  EXPECT_EQ(record, (Bytes{1}));
}

TEST(RecordStep, FailedFirstPassEndsWithoutSteppingAgain) {
  MemoryLink link;
  link.SetResponder([](const WireFrame& f) {
    Bytes r = BuildFrame(f.sequence, 0xC4, {1, 2, 3});
    r[4] ^= 0x01;  // a damaged digit
    return r;
  });
  Bytes record;
  EXPECT_EQ(link.GetPreviousRecord(record), kComChecksumError);
  ASSERT_EQ(link.Frames().size(), 2u) << "two attempts, no second pass";
  EXPECT_EQ(link.Frames()[0].sequence, link.Frames()[1].sequence);
  EXPECT_EQ(link.Sequence(), 0x22);

  link.SetResponder(nullptr);
  link.ClearRecord();
  EXPECT_EQ(link.GetPreviousRecord(record), kComTimeout);
  ASSERT_EQ(link.Frames().size(), 2u);
  EXPECT_EQ(link.Frames()[0].sequence, 0x22);
  EXPECT_EQ(link.Frames()[1].sequence, 0x22);
  EXPECT_EQ(link.Sequence(), 0x23);
}

TEST(RecordStep, RecordOfLengthZeroIsAnEmptyRecord) {
  MemoryLink link;
  link.SetResponder([](const WireFrame& f) { return Bytes{0x01, f.sequence, 0x02, 0xC4, 0x04}; });
  Bytes record{1, 2};
  EXPECT_EQ(link.GetPreviousRecord(record), kComOk);
  EXPECT_TRUE(record.empty());
}

}  // namespace
}  // namespace skyh
