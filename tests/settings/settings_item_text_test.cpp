#include <gtest/gtest.h>

#include "item_maker.h"
#include "settings/settings_item_string.h"

namespace skyh {
namespace {

using test::MakeItem;
using test::Store;

TEST(SettingsHexString, ReadsMostSignificantFirstAndWritesBack) {
  std::vector<uint8_t> area = {0x01, 0x02, 0x03, 0xEE};
  auto hex = MakeItem("P,Serial,SER,0,24,0,0,6,0,0,0,0,0,H", area);
  EXPECT_EQ(hex->GetValueText(), "030201");
  EXPECT_EQ(hex->SetValueFromText("a0b1c2"), SetValueResult::kAccepted);
  EXPECT_EQ(hex->GetValueText(), "A0B1C2");
  hex->WriteToRecord(area);
  EXPECT_EQ(area, (std::vector<uint8_t>{0xC2, 0xB1, 0xA0, 0xEE}));

  // Fewer digits than the field: the missing high digits are zeros.
  EXPECT_EQ(hex->SetValueFromText("0a"), SetValueResult::kAccepted);
  EXPECT_EQ(hex->GetValueText(), "0A");
  hex->WriteToRecord(area);
  EXPECT_EQ(area, (std::vector<uint8_t>{0x0A, 0x00, 0x00, 0xEE}));
  Store(*hex, "abc", area);
  EXPECT_EQ(area, (std::vector<uint8_t>{0xBC, 0x0A, 0x00, 0xEE}));

  EXPECT_EQ(hex->SetValueFromText("0g"), SetValueResult::kInvalid);
  EXPECT_EQ(hex->SetValueFromText("1234567"), SetValueResult::kTooHigh);
  EXPECT_EQ(hex->GetValueText(), "ABC");
  hex->SetDescription("Serial number");
  EXPECT_EQ(hex->description(), "Serial number");

  // A maximum above the field's digits: the extra digits would be lost.
  auto roomy = MakeItem("P,H,H,3,8,0,0,10,0,0,0,0,0,H", area);
  EXPECT_EQ(roomy->SetValueFromText("123"), SetValueResult::kTooHigh);
}

TEST(SettingsString, LengthLimitsAndZeroTermination) {
  std::vector<uint8_t> area(20, 'x');
  const char site[] = "Lille";
  std::copy(site, site + 6, area.begin() + 2);
  auto text = MakeItem("P,Site,SITE,2,128,0,0,16,0,0,0,0,0,S", area);
  EXPECT_EQ(text->GetValueText(), "Lille");
  text->SetDescription("Site name");
  EXPECT_EQ(text->description(), "Site name [ 16 characters max ]");
  EXPECT_EQ(text->SetValueFromText(std::string(16, 'a')), SetValueResult::kTooHigh);
  EXPECT_EQ(text->GetValueText(), "Lille");
  Store(*text, std::string(15, 'b'), area);
  EXPECT_EQ(std::string(area.begin() + 2, area.begin() + 17), std::string(15, 'b'));
  EXPECT_EQ(area[17], 0);
  EXPECT_EQ(area[18], 'x');
  Store(*text, "ab", area);
  EXPECT_EQ(std::string(area.begin() + 2, area.begin() + 19), std::string("ab") + std::string(14, '\0') + "x");

  // No zero byte in the field: the read stops at the field's end.
  std::vector<uint8_t> full = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(MakeItem("P,S,S,0,24,0,0,4,0,0,0,0,0,S", full)->GetValueText(), "abc");
  // A maximum larger than the field cannot let a text spill out of it.
  auto loose = MakeItem("P,S,S,0,24,0,0,40,0,0,0,0,0,S", full);
  EXPECT_EQ(loose->SetValueFromText("abcd"), SetValueResult::kTooHigh);
  EXPECT_EQ(loose->SetValueFromText("xyz"), SetValueResult::kAccepted);
}

TEST(SettingsPassword, PlaceholderAndKeepMarker) {
  std::vector<uint8_t> area = {'p', 'w', 0, 0, 0, 0x55};
  auto password = MakeItem("P,Pass,PWD,0,40,0,0,5,0,0,0,0,0,p", area);
  auto* typed = static_cast<CSettingsItemPassword*>(password.get());
  EXPECT_EQ(password->GetValueText(), "*****");
  EXPECT_EQ(password->GetStoredText(), "pw");
  EXPECT_FALSE(typed->changed());

  password->WriteToRecord(area);
  EXPECT_EQ(area, (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0, 0x55}));

  // Confirming the placeholder keeps the password and the marker.
  password->NoteEditedText("*****");
  EXPECT_EQ(password->SetValueFromText("*****"), SetValueResult::kAccepted);
  EXPECT_FALSE(typed->changed());
  EXPECT_EQ(password->GetStoredText(), "pw");
  // Copying the same password in does not count as a change.
  EXPECT_EQ(password->SetValueFromText("pw"), SetValueResult::kAccepted);
  EXPECT_FALSE(typed->changed());

  EXPECT_EQ(password->SetValueFromText("toolong"), SetValueResult::kTooHigh);
  EXPECT_FALSE(typed->changed());
  EXPECT_EQ(password->SetValueFromText("new"), SetValueResult::kAccepted);
  EXPECT_TRUE(typed->changed());
  EXPECT_EQ(password->GetValueText(), "*****");
  password->WriteToRecord(area);
  EXPECT_EQ(area, (std::vector<uint8_t>{'n', 'e', 'w', 0, 0, 0x55}));
}

}  // namespace
}  // namespace skyh
