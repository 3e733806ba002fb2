// The typed settings items over their fields: texts read, texts set, the
// bytes written back and the refusals, one table row a case.
#include "item_maker.h"
#include "settings/settings_item_boolean.h"
#include "settings/settings_item_string.h"

namespace skyh {
namespace {

using test::MakeItem;
using Bytes = std::vector<uint8_t>;
using R = SetValueResult;

// Fields after "P": name, key, offset, bits, shift, min, max, default, bias,
// multiplier, divisor, decimals, type.
struct ItemCase {
  const char* line;
  Bytes area;
  const char* shown;            // the text of the value read from `area`
  const char* input = nullptr;  // then set from this text
  SetValueResult result = R::kAccepted;  // what the set answers
  const char* shownAfter = "";  // the text after the set ("": not checked)
  Bytes written = {};           // `area` after the value is written (empty: not written)
};

const ItemCase kCases[] = {
    // Decimal: the sign follows the minimum; bias after the sign; decimals clamped.
    {"P,T,T,0,16,0,-100,100,0,0,0,0,0,D", {0xFF, 0xFE}, "-257"},
    {"P,T,T,0,16,0,0,70000,0,0,0,0,0,D", {0xFF, 0xFE}, "65279"},
    {"P,T,T,1,8,0,-5,5,0,10,0,0,0,D", {0xFF, 0xFE}, "-12"},
    {"P,V,V,0,8,0,0,255,0,0,0,10,0,D", {123}, "12"},
    {"P,V,V,0,8,0,0,255,0,0,0,10,-3,D", {123}, "12"},
    {"P,V,V,0,8,0,0,255,0,0,0,0,99999,D", {123}, "123.000000000000000"},
    // Scaling: a tenth written back exactly, multiplier and bias both ways.
    {"P,V,V,0,16,0,0,1000,0,0,0,10,1,D", {0, 0}, "0.0", "12.3", R::kAccepted, "12.3", {123, 0}},
    {"P,B,B,0,8,0,0,200,0,2,5,0,0,D", {7}, "25", "40", R::kAccepted, "40", {10}},
    // Narrow fields keep the other bits, also across a byte boundary.
    {"P,N,N,0,4,4,-8,7,0,0,0,0,0,D", {0x5A}, "5", "-3", R::kAccepted, "-3", {0xDA}},
    {"P,N,N,0,4,4,-8,7,0,0,0,0,0,D", {0x5A}, "5", "7", R::kAccepted, "7", {0x7A}},
    {"P,C,C,0,6,6,0,63,0,0,0,0,0,D", {0xFF, 0xFF}, "63", "0", R::kAccepted, "0", {0x3F, 0xF0}},
    // Decimal texts: refusals leave the value; odd texts are taken as printf would.
    {"P,V,V,0,8,0,-100,120,25,0,0,10,1,D", {50}, "5.0", "1e3", R::kInvalid, "5.0"},
    {"P,V,V,0,8,0,-100,120,25,0,0,10,1,D", {50}, "5.0", "12.5", R::kTooHigh, "5.0"},
    {"P,V,V,0,8,0,-100,120,25,0,0,10,1,D", {50}, "5.0", "-10.01", R::kTooLow, "5.0"},
    {"P,V,V,0,8,0,-100,120,25,0,0,10,1,D", {50}, "5.0", "-", R::kAccepted, "0.0"},
    {"P,V,V,0,8,0,-100,120,25,0,0,10,1,D", {50}, "5.0", "1.25.7", R::kAccepted, "1.2"},  // printf rounding
    {"P,V,V,0,8,0,-100,120,25,0,0,10,1,D", {50}, "5.0", "", R::kAccepted},
    // More than the 8-bit field holds is refused, not masked; so is a bias
    // that makes the raw number negative in an unsigned field.
    {"P,V,V,0,8,0,0,1000,0,0,0,0,0,D", {50}, "50", "256", R::kTooHigh},
    {"P,V,V,0,8,0,0,1000,0,0,0,0,0,D", {50}, "50", "255", R::kAccepted, "", {255}},
    {"P,V,V,0,8,0,0,100,0,-10,0,0,0,D", {50}, "60", "5", R::kTooHigh},
    {"P,V,V,0,8,0,0,100,0,-10,0,0,0,D", {50}, "60", "10", R::kAccepted, "", {0}},
    // Boolean: yes is any case; anything else but no is yes, and 2 does not
    // fit one bit (masking would store "no"); bias and scaling truncate.
    {"P,F,F,0,1,0,0,1,1,0,0,0,0,B", {0xF0}, "no", "YES", R::kAccepted, "yes", {0xF1}},
    {"P,F,F,0,1,0,0,1,1,0,0,0,0,B", {0xF0}, "no", "maybe", R::kAccepted, "yes", {0xF1}},
    {"P,F,F,0,1,0,0,1,1,0,0,0,0,B", {0xF0}, "no", "2", R::kAccepted, "", {0xF1}},
    {"P,F,F,0,8,0,0,1,0,1,0,0,0,B", {1}, "no"},
    {"P,F,F,0,8,0,0,1,0,0,0,10,0,B", {5}, "no"},
    {"P,F,F,0,8,0,0,1,0,0,0,5,0,B", {5}, "yes"},
    // Hexadecimal: most significant digit first; missing high digits are zeros.
    {"P,X,X,0,24,0,0,6,0,0,0,0,0,H", {1, 2, 3}, "030201", "a0b1c2", R::kAccepted, "A0B1C2", {0xC2, 0xB1, 0xA0}},
    {"P,X,X,0,24,0,0,6,0,0,0,0,0,H", {1, 2, 3, 0xEE}, "030201", "0a", R::kAccepted, "0A", {0x0A, 0, 0, 0xEE}},
    {"P,X,X,0,24,0,0,6,0,0,0,0,0,H", {1, 2, 3, 0xEE}, "030201", "abc", R::kAccepted, "ABC", {0xBC, 0x0A, 0, 0xEE}},
    {"P,X,X,0,24,0,0,6,0,0,0,0,0,H", {1, 2, 3, 0xEE}, "030201", "0g", R::kInvalid, "030201"},
    {"P,X,X,0,24,0,0,6,0,0,0,0,0,H", {1, 2, 3, 0xEE}, "030201", "1234567", R::kTooHigh, "030201"},
    // A maximum above the field's digits: the extra digits would be lost.
    {"P,H,H,0,8,0,0,10,0,0,0,0,0,H", {0}, "00", "123", R::kTooHigh},
    // Strings end at a zero byte or at the field's end; a maximum larger than
    // the field cannot let a text spill out of it.
    {"P,S,S,0,24,0,0,4,0,0,0,0,0,S", {'a', 'b', 'c', 'd'}, "abc"},
    {"P,S,S,0,24,0,0,40,0,0,0,0,0,S", {'a', 'b', 'c', 'd'}, "abc", "abcd", R::kTooHigh},
    {"P,S,S,0,24,0,0,40,0,0,0,0,0,S", {'a', 'b', 'c', 'd'}, "abc", "xy", R::kAccepted, "xy", {'x', 'y', 0, 'd'}},
    {"P,S,S,1,32,0,0,9,0,0,0,0,0,S", {1, 2}, "", "abc", R::kAccepted, "abc", {1, 2}},  // outside the area
};

TEST(SettingsItems, TextsReadSetAndWrittenBack) {
  for (const ItemCase& c : kCases) {
    SCOPED_TRACE(std::string(c.line) + " <- " + (c.input ? c.input : "(nothing)"));
    Bytes area = c.area;
    auto item = MakeItem(c.line, area);
    ASSERT_TRUE(item);
    EXPECT_EQ(item->GetValueText(), c.shown);
    if (!c.input) continue;
    EXPECT_EQ(item->SetValueFromText(c.input), c.result);
    EXPECT_TRUE(!*c.shownAfter || item->GetValueText() == c.shownAfter) << item->GetValueText();
    if (c.written.empty()) continue;
    item->WriteToRecord(area);
    EXPECT_EQ(area, c.written);
  }
}

TEST(SettingsItems, UnchangedHundredthsWriteBackUnchangedLongTextsAndAnUnsureBoolean) {
  // 0.29 x 100 is 28.999... in binary: the write rounds.
  Bytes area = {29, 0};
  auto hundredth = MakeItem("P,W,W,0,16,0,0,1000,0,0,0,100,2,D", area);
  EXPECT_EQ(hundredth->GetValueText(), "0.29");
  for (int raw = 0; raw < 1000; ++raw) {
    area = {static_cast<uint8_t>(raw), static_cast<uint8_t>(raw >> 8)};
    hundredth->ReadFromRecord(area);
    area = {0, 0};
    hundredth->WriteToRecord(area);
    ASSERT_EQ(area[0] | (area[1] << 8), raw);
  }
  // The descriptions of each type are shown by the command-line tests.
  auto decimal = MakeItem("P,V,V,0,8,0,-100,120,25,0,0,10,1,D", area);
  EXPECT_EQ(decimal->SetValueFromText(std::string(400, '9')), R::kTooHigh);
  EXPECT_EQ(decimal->SetValueFromText("-0." + std::string(400, '0') + "1"), R::kAccepted);
  auto flag = MakeItem("P,F,F,0,1,0,0,1,1,0,0,0,0,B", area);
  ASSERT_EQ(flag->SetValueFromText("maybe"), R::kAccepted);
  EXPECT_EQ(static_cast<CSettingsItemBoolean*>(flag.get())->value(), -1);
}

TEST(SettingsItems, StringLengthLimitsZeroTerminationAndThePasswordPlaceholder) {
  Bytes area(20, 'x');
  std::copy_n("Lille", 6, area.begin() + 2);
  auto text = MakeItem("P,Site,SITE,2,128,0,0,16,0,0,0,0,0,S", area);
  EXPECT_EQ(text->SetValueFromText(std::string(16, 'a')), R::kTooHigh);
  EXPECT_EQ(text->GetValueText(), "Lille");
  test::Store(*text, std::string(15, 'b'), area);
  EXPECT_EQ(std::string(area.begin() + 2, area.end()), std::string(15, 'b') + '\0' + "xx");
  test::Store(*text, "ab", area);
  EXPECT_EQ(std::string(area.begin() + 2, area.end()), "ab" + std::string(14, '\0') + "xx");

  Bytes secret = {'p', 'w', 0, 0, 0, 0x55};
  auto password = MakeItem("P,Pass,PWD,0,40,0,0,5,0,0,0,0,0,p", secret);
  auto* typed = static_cast<CSettingsItemPassword*>(password.get());
  EXPECT_EQ(password->GetValueText() + password->GetStoredText(), "*****pw");
  password->WriteToRecord(secret);
  EXPECT_EQ(secret, (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0, 0x55}));

  // Confirming the placeholder, copying the same password in or a refused
  // one is no change.
  password->NoteEditedText("*****");
  for (auto [input, result] : {std::pair{"*****", R::kAccepted}, {"pw", R::kAccepted}, {"toolong", R::kTooHigh}}) {
    EXPECT_EQ(password->SetValueFromText(input), result) << input;
    EXPECT_FALSE(typed->changed()) << input;
  }
  EXPECT_EQ(password->GetStoredText(), "pw");
  EXPECT_EQ(password->SetValueFromText("new"), R::kAccepted);
  EXPECT_TRUE(typed->changed() && password->GetValueText() == "*****");
  password->WriteToRecord(secret);
  EXPECT_EQ(secret, (Bytes{'n', 'e', 'w', 0, 0, 0x55}));
}

}  // namespace
}  // namespace skyh
