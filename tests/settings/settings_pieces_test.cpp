// Cutting a settings area into WriteSettings pieces.
#include "settings/settings_pieces.h"

#include <gtest/gtest.h>

#include "settings/item_maker.h"

namespace skyh {
namespace {

using Pieces = std::vector<SettingsSpan>;

TEST(SettingsPiecesTest, PiecesOfAtMost512BytesEndBeforeTheFieldTheyWouldSplit) {
  EXPECT_EQ(SplitSettingsPieces(1100, {}), (Pieces{{0, 512}, {512, 512}, {1024, 76}}));
  EXPECT_EQ(SplitSettingsPieces(1100, {{508, 4}, {1020, 4}}), (Pieces{{0, 512}, {512, 512}, {1024, 76}}))
      << "fields that end on a piece end split nothing";
  EXPECT_EQ(SplitSettingsPieces(1100, {{100, 2}, {510, 4}}), (Pieces{{0, 510}, {510, 512}, {1022, 78}}));
  EXPECT_EQ(SplitSettingsPieces(64, {{0, 2}, {12, 16}}), (Pieces{{0, 64}}));
  EXPECT_EQ(SplitSettingsPieces(512, {{0, 512}}), (Pieces{{0, 512}}));
  EXPECT_TRUE(SplitSettingsPieces(0, {}).empty());
}

TEST(SettingsPiecesTest, EveryPieceMovesForwardAndOverlappingFieldsStayWhole) {
  // A field longer than a piece at a piece start: the end stays put.
  EXPECT_EQ(SplitSettingsPieces(1100, {{100, 600}}), (Pieces{{0, 100}, {100, 512}, {612, 488}}));
  EXPECT_EQ(SplitSettingsPieces(1300, {{0, 1200}}), (Pieces{{0, 512}, {512, 512}, {1024, 276}}));
  // Bit fields share bytes: moving back to the first one's start would land
  // inside the second.
  EXPECT_EQ(SplitSettingsPieces(600, {{510, 4}, {505, 10}}), (Pieces{{0, 505}, {505, 95}}));
  // The pieces always tile the area.
  for (size_t size : {1u, 511u, 513u, 1024u, 1025u, 5000u}) {
    size_t next = 0;
    for (const SettingsSpan& p : SplitSettingsPieces(size, {{3, 700}, {1000, 9}, {1500, 3}})) {
      EXPECT_EQ(p.offset, next);
      EXPECT_GT(p.length, 0u);
      EXPECT_LE(p.length, 512u);
      next = p.offset + p.length;
    }
    EXPECT_EQ(next, size);
  }
}

TEST(SettingsPiecesTest, FieldSpansCountTheBytesShiftedBitsTouch) {
  std::vector<uint8_t> area(64, 0);
  CSettingsItemList items;
  items.Add(test::MakeItem("P Gain, GAIN, 41, 4, 4, 0, 15, 0, 0, 0, 0, 0, D", area));
  items.Add(test::MakeItem("P Wide, WIDE, 10, 16, 4, 0, 4000, 0, 0, 0, 0, 0, D", area));
  items.Add(test::MakeItem("P Site, SITE, 12, 128, 0, 0, 16, 0, 0, 0, 0, 0, S", area));
  EXPECT_EQ(FieldSpans(items), (Pieces{{41, 1}, {10, 3}, {12, 16}}));
}

}  // namespace
}  // namespace skyh
