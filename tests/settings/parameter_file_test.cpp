#include "records/parameter_file.h"

#include <gtest/gtest.h>

#include "records/settings_area.h"
#include "support/temp_dir.h"

namespace skyh {
namespace {

using test::TempDir;
using test::WriteFile;

TEST(ParameterFile, ReadsParameterLinesAndSkipsTheRest) {
  TempDir dir;
  const std::string path = dir / "SP01FF0203.par";
  EXPECT_FALSE(ReadParameterFile(path).has_value());
  WriteFile(path,
            "; comment line\r\n"
            "\tp Head number,\tIDNUM,0,\t16,0,0,9999,1,0,0,0,0,D\r\n"
            "P,Short,SHORT,0,8,0,0,1,0,0,0,0\r\n"  // 12 fields
            "\r\n"
            "P,Lat,IDLAT,2,32,0,-90000,90000,0,0,0,1000,3,d,extra,fields\n"
            "P,Odd,ODD,4,8x,0,0,1,0,0,0,0,0,Bool\n"
            "X,Not,NOT,0,8,0,0,1,0,0,0,0,B\n"
            "P\n"
            "P,,,,,,,,,,,,,,,,\n"
            " \t \n");
  const auto list = ReadParameterFile(path);
  ASSERT_TRUE(list.has_value());
  ASSERT_EQ(list->Count(), 3u);

  const ParameterDescriptor& num = *list->At(0);
  EXPECT_EQ(num.name, "Headnumber");  // spaces and tabs are removed
  EXPECT_EQ(num.key, "IDNUM");
  EXPECT_EQ(num.bits, 16);
  EXPECT_EQ(num.max, 9999);
  EXPECT_EQ(num.default_, 1);
  EXPECT_EQ(num.type, 'D');

  const ParameterDescriptor& lat = *list->At(1);
  EXPECT_EQ(lat.offset, 2);
  EXPECT_EQ(lat.min, -90000);
  EXPECT_EQ(lat.divisor, 1000);
  EXPECT_EQ(lat.decimals, 3);
  EXPECT_EQ(lat.type, 'd');

  EXPECT_EQ(list->At(2)->bits, -1);  // not a number
  EXPECT_EQ(list->At(2)->type, 'B');

  WriteFile(path, "# only comments\r\nQ,1,2\r\n");
  EXPECT_EQ(ReadParameterFile(path)->Count(), 0u);
}

TEST(ParameterFile, NameAndSettingsAreaOfARecord) {
  EXPECT_EQ(ParameterFileName(0x1A, 0x02, 0xC3), "SP1AFF02C3.par");
  std::vector<uint8_t> record(20, 0);
  record[7] = 0xAB;
  record[8] = 0x77;  // not part of the name
  record[9] = 0x01;
  record[10] = 0x0F;
  EXPECT_EQ(ParameterFileNameOfRecord(record), "SPABFF010F.par");
  EXPECT_EQ(ParameterFileNameOfRecord(std::span<const uint8_t>(record).first(10)), "");

  const auto area = SettingsAreaOf(record);
  EXPECT_EQ(area.data(), record.data() + 13);
  EXPECT_EQ(area.size(), 4u);  // 20 - 16
  EXPECT_TRUE(SettingsAreaOf(std::span<const uint8_t>(record).first(16)).empty());
  EXPECT_TRUE(SettingsAreaOf(std::span<const uint8_t>(record).first(5)).empty());
}

}  // namespace
}  // namespace skyh
