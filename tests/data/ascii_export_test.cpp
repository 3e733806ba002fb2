#include "data/ascii_export.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "records/scenario_list.h"
#include "store_fixtures.h"
#include "support/temp_dir.h"

namespace skyh::test {
namespace {

class AsciiExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadTestScenarios();
    store.SetHeader(header.data(), static_cast<uint16_t>(header.size()));
    store.headNumber = "1234";
  }
  void TearDown() override { LoadTestScenarios(); }
  void AddMeas(int day, uint8_t a, uint8_t b) { AddBytes(store, MakeRecord(0x1A, Stamp{2014, 7, day, 8}, {a, b})); }
  void AddStat(int day, uint8_t v) { AddBytes(store, MakeRecord(0x2B, Stamp{2014, 7, day, 9}, {v})); }

  TempDir dir;
  Bytes header = MakeHeader();
  RecordStore store;
};

TEST_F(AsciiExportTest, OneFilePerRecordTypeWithCrLfLines) {
  AddMeas(1, 5, 6);
  AddStat(1, 200);
  AddBytes(store, MakeRecord(0x55, Stamp{}, {0xAB}));
  AddMeas(2, 7, 8);
  ASSERT_TRUE(WriteAsciiFiles(store, dir / "site", false));
  EXPECT_EQ(ReadFile(dir / "site.MEAS"), "5,6\r\n7,8\r\n");
  EXPECT_EQ(ReadFile(dir / "site.STAT"), "200\r\n");
  EXPECT_EQ(ReadFile(dir / "site.---"), "Unknown: \"550B0000000000ABFE0B00\"\r\n");
  // Appending: lines already at the end of a file are not written again.
  AddMeas(3, 9, 9);
  ASSERT_TRUE(WriteAsciiFiles(store, dir / "site", true));
  EXPECT_EQ(ReadFile(dir / "site.MEAS"), "5,6\r\n7,8\r\n9,9\r\n");
  EXPECT_EQ(ReadFile(dir / "site.STAT"), "200\r\n");
  ASSERT_TRUE(WriteAsciiFiles(store, dir / "site", false));
  EXPECT_EQ(ReadFile(dir / "site.MEAS"), "5,6\r\n7,8\r\n9,9\r\n");
}

TEST_F(AsciiExportTest, AppendingCutsATornLastLineAndSkipsTheLinesThatEndTheFile) {
  ScopedLog log(dir / "test.log");
  AddMeas(1, 5, 6);
  AddMeas(1, 7, 8);
  const std::string file = dir / "site.MEAS";
  struct Case {
    std::string before, after;
  };
  const std::string many(5000, 'x');
  const std::vector<Case> cases = {
      {"1,1\r\n5,6\r\n7,", "1,1\r\n5,6\r\n7,8\r\n"},     // torn line cut, 5,6 already there
      {"1,1\r\n7,8\r", "1,1\r\n5,6\r\n7,8\r\n"},           // a CR without its LF is torn too
      {"5,", "5,6\r\n7,8\r\n"},                             // no line end at all
      {"1,1\r\n" + many, "1,1\r\n5,6\r\n7,8\r\n"},          // a torn line longer than one read
      {"1,1\n5,6\n", "1,1\n5,6\n7,8\r\n"},                  // LF lines are whole lines
      {"5,6\r\n7,8\r\n1,1\r\n", "5,6\r\n7,8\r\n1,1\r\n5,6\r\n7,8\r\n"},  // further up is not the end
      {"5,6\r\n7,8\r\n7,8\r\n", "5,6\r\n7,8\r\n7,8\r\n5,6\r\n7,8\r\n"},
  };
  for (const Case& c : cases) {
    WriteFile(file, c.before);
    ASSERT_TRUE(WriteAsciiFiles(store, dir / "site", true)) << c.before;
    EXPECT_EQ(ReadFile(file), c.after) << c.before;
  }
  EXPECT_NE(log.Text().find("\"" + file + "\" ended in an incomplete line; cut back from 5005 to 5 bytes"),
            std::string::npos);
  EXPECT_NE(log.Text().find("1 lines already end \"" + file + "\""), std::string::npos);

  // Only the end of a long file is read to find them.
  std::string longFile;
  for (int i = 0; i < 20000; ++i) longFile += "1,1\r\n";
  WriteFile(file, longFile + "5,6\r\n7,8\r\n");
  ASSERT_TRUE(WriteAsciiFiles(store, dir / "site", true));
  EXPECT_EQ(ReadFile(file), longFile + "5,6\r\n7,8\r\n");
}

TEST_F(AsciiExportTest, GenerateReplacesTheFilesBesideTheDataFile) {
  std::string folder = dir / "my.data";
  std::filesystem::create_directory(folder);
  AddMeas(1, 1, 2);
  AddStat(2, 3);
  store.path = folder + "/site.k8";
  EXPECT_EQ(GenerateAscii(store, FileNaming{}), 0);
  EXPECT_EQ(GenerateAscii(store, FileNaming{}), 0);
  EXPECT_EQ(ReadFile(folder + "/site.MEAS"), "1,2\r\n");
  EXPECT_EQ(ReadFile(folder + "/site.STAT"), "3\r\n");

  // Without a data file: named by the moment, in the working directory.
  TestClock clock(FieldsToTime(2022, 1, 2, 3, 4, 5));
  store.path.clear();
  store.headNumber = "0042";
  {
    ScopedWorkingDirectory cwd(dir.path());
    EXPECT_EQ(GenerateAscii(store, FileNaming{"G%HEAD%_", kPeriodDaily}), 0);
  }
  EXPECT_EQ(ReadFile(dir / "G0042_20220102.STAT"), "3\r\n");
}

TEST_F(AsciiExportTest, ExportByPeriodAppendsPerDayAndTwiceAddsNothing) {
  AddMeas(2, 4, 4);
  AddStat(2, 9);
  AddMeas(2, 3, 3);
  AddMeas(1, 2, 2);
  AddMeas(1, 1, 1);
  FileNaming daily{"SP%VERS%_%HEAD%", kPeriodDaily};
  EXPECT_EQ(ExportAsciiByPeriod(store, dir.path(), daily), 0);
  // Each day's records in the reverse of store order: ascending here.
  EXPECT_EQ(ReadFile(dir / "SP81000100_123420140701.MEAS"), "1,1\r\n2,2\r\n");
  EXPECT_EQ(ReadFile(dir / "SP81000100_123420140702.MEAS"), "3,3\r\n4,4\r\n");
  EXPECT_EQ(ReadFile(dir / "SP81000100_123420140702.STAT"), "9\r\n");
  EXPECT_EQ(ExportAsciiByPeriod(store, dir.path(), daily), 0);
  EXPECT_EQ(ReadFile(dir / "SP81000100_123420140701.MEAS"), "1,1\r\n2,2\r\n");
  EXPECT_EQ(ReadFile(dir / "SP81000100_123420140702.STAT"), "9\r\n");
}

TEST_F(AsciiExportTest, RetrievalDateIsTakenOncePerExport) {
  TestClock clock(FieldsToTime(2023, 5, 6, 7, 8, 9));
  TestClock::SetStep(1);  // every reading of the clock is a second later
  for (int i = 0; i < 5; ++i) AddMeas(1 + i, static_cast<uint8_t>(i), 0);
  EXPECT_EQ(ExportAsciiByPeriod(store, dir.path(), FileNaming{"R", kPeriodRetrievalDate}), 0);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
  EXPECT_EQ(ReadFile(dir / "R20230506070809.MEAS"), "4,0\r\n3,0\r\n2,0\r\n1,0\r\n0,0\r\n");
}

TEST_F(AsciiExportTest, UnsafeTypeNamesAndFailedFiles) {
  GetScenarioList().LoadText("S:1,0x1A,A/B,Slashed,0\nE:VAL_BYTE,7\nS:2,0x2B,A_B,Other,0\nE:VAL_BYTE,7\n");
  RecordStore slashed;
  for (uint8_t v : {1, 2, 3}) AddBytes(slashed, MakeRecord(v == 2 ? 0x2B : 0x1A, Stamp{2014, 7, 1}, {v}));
  ASSERT_TRUE(WriteAsciiFiles(slashed, dir / "s", false));
  EXPECT_EQ(ReadFile(dir / "s.A_B"), "1\r\n2\r\n3\r\n");  // both names in one file, store order
  EXPECT_FALSE(std::filesystem::exists(dir / "s.A"));

  ScopedLog log(dir / "test.log");
  LoadTestScenarios();
  AddMeas(1, 1, 1);
  AddStat(1, 2);
  std::filesystem::create_directory(dir / "f.MEAS");
  EXPECT_FALSE(WriteAsciiFiles(store, dir / "f", false));
  EXPECT_EQ(ReadFile(dir / "f.STAT"), "2\r\n");
  EXPECT_NE(log.Text().find("f.MEAS"), std::string::npos);
  std::filesystem::create_directory(dir / "P.MEAS");
  EXPECT_EQ(ExportAsciiByPeriod(store, dir.path(), FileNaming{"P", kPeriodNone}), 1);
  EXPECT_EQ(ExportAsciiByPeriod(store, dir / "x/y", FileNaming{"P", kPeriodNone}), 1);
  ASSERT_EQ(mkfifo((dir / "Q.MEAS").c_str(), 0600), 0);  // not waited on
  EXPECT_EQ(ExportAsciiByPeriod(store, dir.path(), FileNaming{"Q", kPeriodNone}), 1);
  EXPECT_EQ(ReadFile(dir / "Q.STAT"), "2\r\n");
}

}  // namespace
}  // namespace skyh::test
