#include "data/file_naming.h"

#include <gtest/gtest.h>

#include "data/ascii_export.h"
#include "data/batch_conversion.h"
#include "store_fixtures.h"

namespace skyh::test {
namespace {

const VersionCode kVersion = {0x81, 0x00, 0x01, 0x00};

TEST(FileNamingTest, ExpandBaseNameFillsPlaceHoldersAndAppendsThePeriod) {
  int64_t march5 = FieldsToTime(2015, 3, 5, 23, 59, 59);
  EXPECT_EQ(ExpandBaseName("SP%VERS%_%HEAD%", march5, "1234", kVersion, kPeriodDaily), "SP81000100_123420150305");
  EXPECT_EQ(ExpandBaseName("SP%VERS%_%HEAD%", march5, "1234", kVersion, kPeriodMonthly), "SP81000100_1234201503");
  EXPECT_EQ(ExpandBaseName("SP%VERS%_%HEAD%", march5, "1234", kVersion, kPeriodAnnual), "SP81000100_12342015");
  EXPECT_EQ(ExpandBaseName("%HEAD%-%HEAD%", march5, "7", kVersion, kPeriodNone), "7-7");
  // The inserted text is not searched again.
  EXPECT_EQ(ExpandBaseName("%HEAD%x", march5, "%HEAD%", kVersion, kPeriodNone), "%HEAD%x");
  EXPECT_EQ(ExpandBaseName("%VERS%", march5, "", VersionCode{0xAB, 0x0C, 0xFF, 0x01}, kPeriodNone), "AB0CFF01");
  EXPECT_EQ(ExpandBaseName("", march5, "", kVersion, kPeriodNone), "None");
  EXPECT_EQ(ExpandBaseName("%HEAD%", march5, "", kVersion, kPeriodNone), "None");
  EXPECT_EQ(ExpandBaseName("", march5, "", kVersion, kPeriodDaily), "20150305");
  EXPECT_EQ(ExpandBaseName("X", march5, "", kVersion, 9), "X");
  // No time stamp: zeros of the period's width.
  EXPECT_EQ(ExpandBaseName("X", kInvalidTime, "", kVersion, kPeriodDaily), "X00000000");
  EXPECT_EQ(ExpandBaseName("X", kInvalidTime, "", kVersion, kPeriodMonthly), "X000000");
  EXPECT_EQ(ExpandBaseName("X", kInvalidTime, "", kVersion, kPeriodAnnual), "X0000");
  // A head number cannot move the file into another folder.
  EXPECT_EQ(ExpandBaseName("H%HEAD%", march5, "1/2", kVersion, kPeriodNone), "H1_2");
}

TEST(FileNamingTest, RetrievalDateAndExampleUseTheLocalMoment) {
  TestClock clock(FieldsToTime(2020, 12, 31, 23, 58, 7));
  EXPECT_EQ(ExpandBaseName("R", 0, "", kVersion, kPeriodRetrievalDate), "R20201231235807");
  EXPECT_EQ(FormatExample("SP%VERS%_%HEAD%", kPeriodDaily), "SP81000100_000020140701.k8");
  EXPECT_EQ(FormatExample("SP%VERS%_%HEAD%", kPeriodNone), "SP81000100_0000.k8");
  EXPECT_EQ(FormatExample("A", kPeriodMonthly), "A201407.k8");
  EXPECT_EQ(FormatExample("A", kPeriodAnnual), "A2014.k8");
  EXPECT_EQ(FormatExample("", kPeriodNone), "None.k8");
  EXPECT_EQ(FormatExample("A", kPeriodRetrievalDate), "A20201231235807.k8");
  EXPECT_EQ(FormatExample("A", 7), "A20201231235807.k8");
}

TEST(FileNamingTest, OutputNamesLookAtTheFileNameOnly) {
  EXPECT_EQ(SafeFileNamePart("a/b/c"), "a_b_c");
  EXPECT_EQ(SafeFileNamePart("MEAS 1"), "MEAS 1");
  EXPECT_EQ(FileNameStart("/a/b.c"), 3u);
  EXPECT_EQ(FileNameStart("b.c"), 0u);

  EXPECT_EQ(AsciiPrefixOf("/data/site.k8"), "/data/site");
  EXPECT_EQ(AsciiPrefixOf("/data/site.2014.k8"), "/data/site.2014");
  EXPECT_EQ(AsciiPrefixOf("/my.data/site"), "/my.data/site");
  EXPECT_EQ(AsciiPrefixOf("site"), "site");

  EXPECT_EQ(BatchBaseName("/Data/Site1.K8"), "/Data/site1");
  EXPECT_EQ(BatchBaseName("/run.k8x/Site.k8"), "/run.k8x/site");
  EXPECT_EQ(BatchBaseName("/run.k8x/Site"), "/run.k8x/site");
  EXPECT_EQ(BatchBaseName("A.k8.k8"), "a");
  EXPECT_EQ(BatchBaseName("/Data/Site.dat"), "/Data/site.dat");
}

}  // namespace
}  // namespace skyh::test
