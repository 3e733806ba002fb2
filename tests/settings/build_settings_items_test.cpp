#include "settings/build_settings_items.h"

#include <gtest/gtest.h>

#include "records/parameter_file.h"
#include "records/settings_area.h"
#include "settings/settings_item_list.h"
#include "support/record_bytes.h"
#include "support/temp_dir.h"

namespace skyh {
namespace {

using test::TempDir;
using test::WriteFile;

// A settings record: 13 header bytes, the area, end mark and length.
std::vector<uint8_t> SettingsRecord(std::vector<uint8_t> area) {
  area.insert(area.begin(), 6, 0);
  return test::MakeRecordBytes(0x7C, 0, area);
}

const char kParameters[] =
    "; demo layout\r\n"
    "P,Number,IDNUM,0,16,0,0,9999,1,0,0,0,0,D\r\n"
    "P,Lat,IDLAT,2,32,0,-90000,90000,0,0,0,1000,3,D\r\n"
    "p,Heater,HEAT,6,1,0,0,1,0,0,0,0,0,b\r\n"
    "P,Mode,MODE,6,3,1,0,7,0,0,0,0,0,D\r\n"
    "P,Serial,SER,7,16,0,0,4,0,0,0,0,0,H\r\n"
    "P,Site,SITE,9,64,0,0,8,0,0,0,0,0,S\r\n"
    "P,Pass,PWD,17,32,0,0,4,0,0,0,0,0,P\r\n";

const std::vector<uint8_t> kArea = {0x2A, 0x00, 0x50, 0xC3, 0x00, 0x00, 0x0B, 0x34, 0x12,
                                    'P', 'a', 'r', 'i', 's', 0, 0, 0, 'a', 'b', 'c', 0};

struct Files {
  TempDir dir;
  std::string parDesc = dir / "ParDesc.dat";
  std::string parameters = dir / "SP01FF0203.par";
};

TEST(BuildSettingsItems, BuildsEveryTypeWithDescriptions) {
  Files files;
  WriteFile(files.parameters, kParameters);
  WriteFile(files.parDesc,
            "idnum,Instrument number,with a comma\r\n"
            "IDNUM,Second line is not used\r\n"
            "SITE\r\n"
            "IDLAT,Latitude\r\n");
  const auto items = BuildSettingsItems(files.parDesc, files.parameters, kArea);
  ASSERT_NE(items, nullptr);
  ASSERT_EQ(items->Count(), 7u);
  const char* texts[] = {"42", "50.000", "yes", "5", "1234", "Paris", "*****"};
  for (size_t i = 0; i < 7; ++i) EXPECT_EQ(items->At(i)->GetValueText(), texts[i]) << i;

  EXPECT_EQ(items->At(0)->description(), "Instrument number [0 : 9999]. Default: 1");
  EXPECT_EQ(items->At(1)->description(), "Latitude [-90.000 : 90.000]. Default: 0.000");
  EXPECT_EQ(items->At(5)->description(), "");  // key without a text
  EXPECT_EQ(items->At(4)->description(), "");  // no line at all

  EXPECT_EQ(FindItemByKey(*items, "idLat"), items->At(1));
  EXPECT_EQ(FindItemByKey(*items, "IDLONG"), nullptr);
  EXPECT_EQ(FindItemByKey(*items, ""), nullptr);
}

TEST(BuildSettingsItems, UnchangedItemsWriteBackTheSameBytes) {
  Files files;
  WriteFile(files.parameters, kParameters);
  std::vector<uint8_t> record = SettingsRecord(kArea);
  const auto items = BuildSettingsItems(files.parDesc, files.parameters, SettingsAreaOf(record));
  ASSERT_NE(items, nullptr);  // without ParDesc.dat
  EXPECT_EQ(items->At(0)->description(), "");

  std::vector<uint8_t> expected = record;
  std::fill(expected.begin() + 13 + 17, expected.begin() + 13 + 20, 0xFF);  // keep-password marker
  WriteAllToRecord(*items, SettingsAreaOf(record));
  EXPECT_EQ(record, expected);

  // Two items share byte 6: each write leaves the other's bits.
  EXPECT_EQ(FindItemByKey(*items, "heat")->SetValueFromText("no"), SetValueResult::kAccepted);
  EXPECT_EQ(FindItemByKey(*items, "MODE")->SetValueFromText("2"), SetValueResult::kAccepted);
  EXPECT_EQ(FindItemByKey(*items, "IDNUM")->SetValueFromText("4660"), SetValueResult::kAccepted);
  WriteAllToRecord(*items, SettingsAreaOf(record));
  expected[13 + 6] = 0x04;
  expected[13 + 0] = 0x34;
  expected[13 + 1] = 0x12;
  EXPECT_EQ(record, expected);
}

TEST(BuildSettingsItems, RefusesFilesThatDoNotFitTheRecord) {
  Files files;
  const std::vector<uint8_t> area(8, 0);
  EXPECT_EQ(BuildSettingsItems(files.parDesc, files.parameters, area), nullptr);  // no file

  auto build = [&](const std::string& lines, std::span<const uint8_t> bytes) {
    WriteFile(files.parameters, "P,A,A,0,8,0,0,1,0,0,0,0,0,D\n" + lines);
    return BuildSettingsItems(files.parDesc, files.parameters, bytes);
  };
  EXPECT_NE(build("P,B,B,7,8,0,0,1,0,0,0,0,0,S\n", area), nullptr);
  EXPECT_EQ(build("P,B,B,7,8,0,0,1,0,0,0,0,0,x\n", area), nullptr);   // unknown type
  EXPECT_EQ(build("P,B,B,8,8,0,0,1,0,0,0,0,0,S\n", area), nullptr);   // past the end
  EXPECT_EQ(build("P,B,B,7,8,1,0,1,0,0,0,0,0,D\n", area), nullptr);   // shifted past the end
  EXPECT_EQ(build("P,B,B,-1,8,0,0,1,0,0,0,0,0,D\n", area), nullptr);  // negative offset
  EXPECT_EQ(build("P,B,B,0,0,0,0,1,0,0,0,0,0,D\n", area), nullptr);   // no bits
  EXPECT_EQ(build("P,B,B,a,8,0,0,1,0,0,0,0,0,H\n", area), nullptr);   // offset not a number
  EXPECT_EQ(build("", std::span<const uint8_t>()), nullptr);          // no settings area

  // A header too short for a settings area gives no area at all.
  std::vector<uint8_t> shortRecord(16, 0);
  EXPECT_EQ(build("", SettingsAreaOf(shortRecord)), nullptr);
}

TEST(SettingsItemList, FactoryMakesEveryTypeLetterInEitherCase) {
  const std::vector<uint8_t> area(4, 0);
  auto descriptor = [](char type) {
    auto d = std::make_unique<ParameterDescriptor>();
    d->bits = 8;
    d->type = type;
    return d;
  };
  for (char type : std::string("BDHPSbdhps")) {
    auto item = CreateSettingsItem(descriptor(type), area);
    EXPECT_TRUE(item && item->typeLetter() == std::toupper(type)) << type;
  }
  EXPECT_EQ(CreateSettingsItem(descriptor('x'), area), nullptr);
  EXPECT_EQ(CreateSettingsItem(nullptr, area), nullptr);
}

}  // namespace
}  // namespace skyh
