#include "settings/build_settings_items.h"

#include "records/settings_area.h"
#include "support/test_common.h"

namespace skyh {
namespace {

using test::TempDir;
using test::WriteFile;

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
  std::string parDesc = dir / "ParDesc.dat", parameters = dir / "SP01FF0203.par";
};

TEST(BuildSettingsItems, BuildsEveryTypeWithDescriptionsAndRefusesFilesThatDoNotFit) {
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
  EXPECT_EQ(items->At(5)->description() + items->At(4)->description(), "");  // key without a text; no line at all

  EXPECT_EQ(FindItemByKey(*items, "idLat"), items->At(1));
  EXPECT_EQ(FindItemByKey(*items, "IDLONG"), nullptr);

  std::filesystem::remove(files.parDesc);
  const std::vector<uint8_t> area(8, 0);
  EXPECT_EQ(BuildSettingsItems(files.parDesc, files.dir / "none.par", area), nullptr);  // no file

  auto build = [&](const std::string& lines, std::span<const uint8_t> bytes) {
    WriteFile(files.parameters, "P,A,A,0,8,0,0,1,0,0,0,0,0,D\n" + lines);
    return BuildSettingsItems(files.parDesc, files.parameters, bytes);
  };
  EXPECT_NE(build("P,B,B,7,8,0,0,1,0,0,0,0,0,S\n", area), nullptr);   // and no ParDesc.dat
  EXPECT_EQ(build("P,B,B,7,8,0,0,1,0,0,0,0,0,x\n", area), nullptr);   // unknown type
  EXPECT_EQ(build("P,B,B,8,8,0,0,1,0,0,0,0,0,S\n", area), nullptr);   // past the end
  EXPECT_EQ(build("P,B,B,7,8,1,0,1,0,0,0,0,0,D\n", area), nullptr);   // shifted past the end
  EXPECT_EQ(build("P,B,B,0,0,0,0,1,0,0,0,0,0,D\n", area), nullptr);   // no bits
  EXPECT_EQ(build("P,B,B,a,8,0,0,1,0,0,0,0,0,H\n", area), nullptr);   // offset not a number
  EXPECT_EQ(build("", std::span<const uint8_t>()), nullptr);          // no settings area

  // A header too short for a settings area gives no area at all.
  std::vector<uint8_t> shortRecord(16, 0);
  EXPECT_EQ(build("", SettingsAreaOf(shortRecord)), nullptr);
}

}  // namespace
}  // namespace skyh
