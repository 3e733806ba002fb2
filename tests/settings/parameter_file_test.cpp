#include "records/parameter_file.h"

#include "core/format.h"
#include "records/settings_area.h"
#include "support/test_common.h"

namespace skyh {
namespace {

using test::TempDir;
using test::WriteFile;

// The descriptor's fields in the order of a parameter line.
std::string Fields(const ParameterDescriptor& d) {
  return Sprintf("%s,%s,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%c", d.name.c_str(), d.key.c_str(), d.offset, d.bits, d.shift,
                 d.min, d.max, d.default_, d.bias, d.multiplier, d.divisor, d.decimals, d.type);
}

TEST(ParameterFile, ReadsParameterLinesNamesAndSettingsAreas) {
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

  // Spaces and tabs are removed from the name; a field that is not a number is -1.
  EXPECT_EQ(Fields(*list->At(0)), "Headnumber,IDNUM,0,16,0,0,9999,1,0,0,0,0,D");
  EXPECT_EQ(Fields(*list->At(1)), "Lat,IDLAT,2,32,0,-90000,90000,0,0,0,1000,3,d");
  EXPECT_EQ(Fields(*list->At(2)), "Odd,ODD,4,-1,0,0,1,0,0,0,0,0,B");

  WriteFile(path, "# only comments\r\nQ,1,2\r\n");
  EXPECT_EQ(ReadParameterFile(path)->Count(), 0u);

  // A record's file name and settings area.
  EXPECT_EQ(ParameterFileName(0x1A, 0x02, 0xC3), "SP1AFF02C3.par");
  std::vector<uint8_t> record(20, 0);
  std::copy_n("\xAB\x77\x01\x0F", 4, record.begin() + 7);  // 0x77 is not part of the name
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
