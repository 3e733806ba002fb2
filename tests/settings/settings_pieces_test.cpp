// Cutting a settings area into WriteSettings pieces.
#include "settings/settings_pieces.h"

#include "settings/item_maker.h"

namespace skyh {
namespace {

using Pieces = std::vector<SettingsSpan>;

TEST(SettingsPiecesTest, PiecesOfAtMost512BytesEndBeforeTheFieldsWhoseSpansTheyWouldSplit) {
  const struct {
    size_t size;
    Pieces fields, pieces;
    const char* why;
  } cases[] = {
      {1100, {}, {{0, 512}, {512, 512}, {1024, 76}}, "no fields"},
      {1100, {{508, 4}, {1020, 4}}, {{0, 512}, {512, 512}, {1024, 76}}, "fields that end on a piece end split nothing"},
      {1100, {{100, 2}, {510, 4}}, {{0, 510}, {510, 512}, {1022, 78}}, "a field across the end moves it back"},
      {64, {{0, 2}, {12, 16}}, {{0, 64}}, "a small area"},
      {512, {{0, 512}}, {{0, 512}}, "one whole piece"},
      {0, {}, {}, "no area"},
      {1100, {{100, 600}}, {{0, 100}, {100, 512}, {612, 488}}, "a field longer than a piece at a piece start"},
      {1300, {{0, 1200}}, {{0, 512}, {512, 512}, {1024, 276}}, "a long field at the start"},
      // Bit fields share bytes: moving back to the first one's start would
      // land inside the second.
      {600, {{510, 4}, {505, 10}}, {{0, 505}, {505, 95}}, "overlapping fields"},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitSettingsPieces(c.size, c.fields), c.pieces) << c.why;
  // The pieces always tile the area.
  for (size_t size : {1u, 511u, 513u, 1024u, 1025u, 5000u}) {
    size_t next = 0;
    for (const SettingsSpan& p : SplitSettingsPieces(size, {{3, 700}, {1000, 9}, {1500, 3}})) {
      EXPECT_EQ(p.offset, next);
      EXPECT_TRUE(p.length > 0 && p.length <= 512) << p.length;
      next = p.offset + p.length;
    }
    EXPECT_EQ(next, size);
  }

  // Field spans count the bytes shifted bits touch.
  std::vector<uint8_t> area(64, 0);
  CSettingsItemList items;
  items.Add(test::MakeItem("P Gain, GAIN, 41, 4, 4, 0, 15, 0, 0, 0, 0, 0, D", area));
  items.Add(test::MakeItem("P Wide, WIDE, 10, 16, 4, 0, 4000, 0, 0, 0, 0, 0, D", area));
  items.Add(test::MakeItem("P Site, SITE, 12, 128, 0, 0, 16, 0, 0, 0, 0, 0, S", area));
  EXPECT_EQ(FieldSpans(items), (Pieces{{41, 1}, {10, 3}, {12, 16}}));
}

}  // namespace
}  // namespace skyh
