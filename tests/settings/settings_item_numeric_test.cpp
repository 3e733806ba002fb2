#include <gtest/gtest.h>

#include "item_maker.h"
#include "settings/settings_item_boolean.h"
#include "settings/settings_item_decimal.h"

namespace skyh {
namespace {

using test::MakeItem;
using test::Store;

TEST(SettingsDecimal, SignFollowsTheMinimumAndDecimalsAreClamped) {
  const std::vector<uint8_t> area = {0xFF, 0xFE, 123};
  EXPECT_EQ(MakeItem("P,T,T,0,16,0,-100,100,0,0,0,0,0,D", area)->GetValueText(), "-257");
  EXPECT_EQ(MakeItem("P,T,T,0,16,0,0,70000,0,0,0,0,0,D", area)->GetValueText(), "65279");
  // Bias is taken off after the sign: raw 0xFF in 8 signed bits is -1.
  EXPECT_EQ(MakeItem("P,T,T,1,8,0,-5,5,0,10,0,0,0,D", area)->GetValueText(), "-12");
  EXPECT_EQ(MakeItem("P,V,V,2,8,0,0,255,0,0,0,10,0,D", area)->GetValueText(), "12");
  EXPECT_EQ(MakeItem("P,V,V,2,8,0,0,255,0,0,0,10,-3,D", area)->GetValueText(), "12");
  EXPECT_EQ(MakeItem("P,V,V,2,8,0,0,255,0,0,0,0,99999,D", area)->GetValueText(), "123.000000000000000");
}

TEST(SettingsDecimal, ScalingAndRoundTrip) {
  std::vector<uint8_t> area = {123, 0, 29, 0};
  auto tenth = MakeItem("P,V,V,0,16,0,0,1000,0,0,0,10,1,D", area);
  EXPECT_EQ(tenth->GetValueText(), "12.3");
  EXPECT_EQ(tenth->SetValueFromText("12.3"), SetValueResult::kAccepted);
  area[0] = 0;
  tenth->WriteToRecord(area);
  EXPECT_EQ(area[0], 123);

  // 0.29 x 100 is 28.999... in binary: the write rounds.
  auto hundredth = MakeItem("P,W,W,2,16,0,0,1000,0,0,0,100,2,D", area);
  EXPECT_EQ(hundredth->GetValueText(), "0.29");
  hundredth->WriteToRecord(area);
  EXPECT_EQ(area[2], 29);
  for (int raw = 0; raw < 1000; ++raw) {
    area[2] = static_cast<uint8_t>(raw);
    area[3] = static_cast<uint8_t>(raw >> 8);
    hundredth->ReadFromRecord(area);
    area[2] = area[3] = 0;
    hundredth->WriteToRecord(area);
    ASSERT_EQ(area[2] | (area[3] << 8), raw) << "unchanged value must write back unchanged";
  }

  // Multiplier and bias: raw 7 with bias 2 and multiplier 5 shows 25.
  std::vector<uint8_t> scaled = {7};
  auto biased = MakeItem("P,B,B,0,8,0,0,200,0,2,5,0,0,D", scaled);
  EXPECT_EQ(biased->GetValueText(), "25");
  Store(*biased, "40", scaled);
  EXPECT_EQ(scaled[0], 10);
}

TEST(SettingsDecimal, NarrowFieldKeepsTheOtherBits) {
  std::vector<uint8_t> area = {0x5A};
  auto nibble = MakeItem("P,N,N,0,4,4,-8,7,0,0,0,0,0,D", area);
  EXPECT_EQ(nibble->GetValueText(), "5");
  Store(*nibble, "-3", area);
  EXPECT_EQ(area[0], 0xDA);
  nibble->ReadFromRecord(area);
  EXPECT_EQ(nibble->GetValueText(), "-3");
  Store(*nibble, "7", area);
  EXPECT_EQ(area[0], 0x7A);

  // A field crossing a byte boundary: 6 bits at shift 6 of two bytes.
  std::vector<uint8_t> wide = {0xFF, 0xFF};
  auto crossing = MakeItem("P,C,C,0,6,6,0,63,0,0,0,0,0,D", wide);
  EXPECT_EQ(crossing->GetValueText(), "63");
  Store(*crossing, "0", wide);
  EXPECT_EQ(wide[0], 0x3F);
  EXPECT_EQ(wide[1], 0xF0);
}

TEST(SettingsDecimal, TextRulesAndRefusals) {
  std::vector<uint8_t> area = {50};
  auto item = MakeItem("P,V,V,0,8,0,-100,120,25,0,0,10,1,D", area);
  EXPECT_EQ(item->GetValueText(), "5.0");
  EXPECT_EQ(item->SetValueFromText("1e3"), SetValueResult::kInvalid);
  EXPECT_EQ(item->SetValueFromText("12.5"), SetValueResult::kTooHigh);
  EXPECT_EQ(item->SetValueFromText("-10.01"), SetValueResult::kTooLow);
  EXPECT_EQ(item->SetValueFromText(std::string(400, '9')), SetValueResult::kTooHigh);
  EXPECT_EQ(item->GetValueText(), "5.0");  // refusals leave the value
  EXPECT_EQ(item->SetValueFromText("-"), SetValueResult::kAccepted);
  EXPECT_EQ(item->GetValueText(), "0.0");
  EXPECT_EQ(item->SetValueFromText("1.25.7"), SetValueResult::kAccepted);
  EXPECT_EQ(item->GetValueText(), "1.2");  // printf rounding of 1.25
  EXPECT_EQ(item->SetValueFromText(""), SetValueResult::kAccepted);
  EXPECT_EQ(item->SetValueFromText("-0." + std::string(400, '0') + "1"), SetValueResult::kAccepted);
  item->SetDescription("Gain");
  EXPECT_EQ(item->description(), "Gain [-10.0 : 12.0]. Default: 2.5");

  // The descriptor allows more than the 8-bit field holds: refused, not masked.
  auto narrow = MakeItem("P,V,V,0,8,0,0,1000,0,0,0,0,0,D", area);
  EXPECT_EQ(narrow->SetValueFromText("256"), SetValueResult::kTooHigh);
  EXPECT_EQ(narrow->SetValueFromText("255"), SetValueResult::kAccepted);
  // Bias -10 turns 5 into the raw -5, which an unsigned field cannot hold.
  auto biased = MakeItem("P,V,V,0,8,0,0,100,0,-10,0,0,0,D", area);
  EXPECT_EQ(biased->SetValueFromText("5"), SetValueResult::kTooHigh);
  EXPECT_EQ(biased->SetValueFromText("10"), SetValueResult::kAccepted);
}

TEST(SettingsBoolean, TextsAndWrites) {
  std::vector<uint8_t> area = {0xF0};
  auto flag = MakeItem("P,F,F,0,1,0,0,1,1,0,0,0,0,B", area);
  EXPECT_EQ(flag->GetValueText(), "no");
  EXPECT_EQ(flag->SetValueFromText("YES"), SetValueResult::kAccepted);
  EXPECT_EQ(flag->GetValueText(), "yes");
  flag->WriteToRecord(area);
  EXPECT_EQ(area[0], 0xF1);
  EXPECT_EQ(flag->SetValueFromText("maybe"), SetValueResult::kAccepted);
  EXPECT_EQ(static_cast<CSettingsItemBoolean*>(flag.get())->value(), -1);
  EXPECT_EQ(flag->GetValueText(), "yes");
  area[0] = 0xF0;
  flag->WriteToRecord(area);
  EXPECT_EQ(area[0], 0xF1);
  // 2 does not fit one bit; masking would store "no".
  EXPECT_EQ(flag->SetValueFromText("2"), SetValueResult::kAccepted);
  area[0] = 0xF0;
  flag->WriteToRecord(area);
  EXPECT_EQ(area[0], 0xF1);
  flag->SetDescription("Heater");
  EXPECT_EQ(flag->description(), "Heater [no : yes]. Default: yes");

  // Bias and scaling, truncated toward zero.
  std::vector<uint8_t> biased = {1, 5};
  EXPECT_EQ(MakeItem("P,F,F,0,8,0,0,1,0,1,0,0,0,B", biased)->GetValueText(), "no");
  EXPECT_EQ(MakeItem("P,F,F,1,8,0,0,1,0,0,0,10,0,B", biased)->GetValueText(), "no");
  EXPECT_EQ(MakeItem("P,F,F,1,8,0,0,1,0,0,0,5,0,B", biased)->GetValueText(), "yes");
}

}  // namespace
}  // namespace skyh
