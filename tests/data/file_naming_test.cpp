#include "data/file_naming.h"

#include <gtest/gtest.h>

#include "data/ascii_export.h"
#include "data/batch_conversion.h"
#include "store_fixtures.h"

namespace skyh::test {
namespace {

const VersionCode kVersion = {0x81, 0x00, 0x01, 0x00};

std::string Expand(const std::string& pattern, int64_t t, const std::string& head, int period) {
  return ExpandBaseName(pattern, t, head, kVersion, period);
}

TEST(FileNamingTest, ExpandBaseNameFillsPlaceHoldersAndAppendsThePeriod) {
  int64_t march5 = FieldsToTime(2015, 3, 5, 23, 59, 59);
  EXPECT_EQ(Expand("SP%VERS%_%HEAD%", march5, "1234", kPeriodDaily), "SP81000100_123420150305");
  EXPECT_EQ(Expand("SP%VERS%_%HEAD%", march5, "1234", kPeriodMonthly), "SP81000100_1234201503");
  EXPECT_EQ(Expand("SP%VERS%_%HEAD%", march5, "1234", kPeriodAnnual), "SP81000100_12342015");
  EXPECT_EQ(Expand("%HEAD%-%HEAD%", march5, "7", kPeriodNone), "7-7");
  EXPECT_EQ(Expand("%HEAD%x", march5, "%HEAD%", kPeriodNone), "%HEAD%x");  // not searched again
  EXPECT_EQ(Expand("", march5, "", kPeriodNone), "None");
  EXPECT_EQ(Expand("%HEAD%", march5, "", kPeriodNone), "None");
  EXPECT_EQ(Expand("", march5, "", kPeriodDaily), "20150305");
  // No time stamp: zeros of the period's width.
  EXPECT_EQ(Expand("X", kInvalidTime, "", kPeriodDaily), "X00000000");
  EXPECT_EQ(Expand("X", kInvalidTime, "", kPeriodMonthly), "X000000");
  // A head number cannot move the file into another folder.
  EXPECT_EQ(Expand("H%HEAD%", march5, "1/2", kPeriodNone), "H1_2");

  TestClock clock(FieldsToTime(2020, 12, 31, 23, 58, 7));
  EXPECT_EQ(Expand("R", 0, "", kPeriodRetrievalDate), "R20201231235807");
  EXPECT_EQ(FormatExample("SP%VERS%_%HEAD%", kPeriodDaily), "SP81000100_000020140701.k8");
  EXPECT_EQ(FormatExample("", kPeriodNone), "None.k8");
  EXPECT_EQ(FormatExample("A", kPeriodRetrievalDate), "A20201231235807.k8");
}

TEST(FileNamingTest, OutputNamesLookAtTheFileNameOnly) {
  EXPECT_EQ(SafeFileNamePart("a/b/c"), "a_b_c");
  EXPECT_EQ(AsciiPrefixOf("/data/site.2014.k8"), "/data/site.2014");
  EXPECT_EQ(AsciiPrefixOf("/my.data/site"), "/my.data/site");
  EXPECT_EQ(BatchBaseName("/Data/Site1.K8"), "/Data/site1");
  EXPECT_EQ(BatchBaseName("/run.k8x/Site"), "/run.k8x/site");
  EXPECT_EQ(BatchBaseName("/Data/Site.dat"), "/Data/site.dat");
}

}  // namespace
}  // namespace skyh::test
