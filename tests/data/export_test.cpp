// File naming, and the K8 and ASCII exports of a store.
#include <sys/stat.h>

#include "data/ascii_export.h"
#include "data/file_naming.h"
#include "data/k8_export.h"
#include "store_fixtures.h"

namespace skyh::test {
namespace {

class ExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadTestScenarios();
    store.SetHeader(header.data(), static_cast<uint16_t>(header.size()));
    store.headNumber = "1234";
  }
  void AddMeas(int day, uint8_t a, uint8_t b) { AddBytes(store, MakeRecord(0x1A, Stamp{2014, 7, day, 8}, {a, b})); }
  void AddStat(int day, uint8_t v) { AddBytes(store, MakeRecord(0x2B, Stamp{2014, 7, day, 9}, {v})); }
  Bytes Add(int month, int day, uint8_t tag) {
    Bytes r = MakeRecord(0x1A, Stamp{2014, month, day, 10, 0, tag}, {tag, 0});
    AddBytes(store, r);
    return r;
  }
  // A K8 file's expected content: the header, then `records`.
  std::string File(const std::vector<Bytes>& records) const { return Concat({header}) + Concat(records); }

  TempDir dir;
  Bytes header = MakeHeader();
  RecordStore store;
};

const VersionCode kVersion = {0x81, 0x00, 0x01, 0x00};

std::string Expand(const std::string& pattern, int64_t t, const std::string& head, int period) {
  return ExpandBaseName(pattern, t, head, kVersion, period);
}

TEST(FileNamingTest, ExpandBaseNameFillsPlaceHoldersAndAppendsThePeriod) {
  int64_t march5 = FieldsToTime(2015, 3, 5, 23, 59, 59);
  EXPECT_EQ(Expand("SP%VERS%_%HEAD%", march5, "1234", kPeriodDaily), "SP81000100_123420150305");
  EXPECT_EQ(Expand("%VERS%", march5, "1234", kPeriodAnnual), "810001002015");
  EXPECT_EQ(Expand("M", march5, "1234", kPeriodMonthly), "M201503");
  EXPECT_EQ(Expand("%HEAD%-%HEAD%", march5, "7", kPeriodNone), "7-7");
  EXPECT_EQ(Expand("%HEAD%x", march5, "%HEAD%", kPeriodNone), "%HEAD%x");  // not searched again
  EXPECT_EQ(Expand("%HEAD%", march5, "", kPeriodNone), "None");
  EXPECT_EQ(Expand("", march5, "", kPeriodDaily), "20150305");
  // No time stamp: zeros of the period's width.
  EXPECT_EQ(Expand("X", kInvalidTime, "", kPeriodMonthly), "X000000");
  // A head number cannot move the file into another folder.
  EXPECT_EQ(Expand("H%HEAD%", march5, "1/2", kPeriodNone), "H1_2");
  EXPECT_EQ(AsciiPrefixOf("/data/site.2014.k8"), "/data/site.2014");

  TestClock clock(FieldsToTime(2020, 12, 31, 23, 58, 7));
  EXPECT_EQ(Expand("R", 0, "", kPeriodRetrievalDate), "R20201231235807");
  EXPECT_EQ(FormatExample("SP%VERS%_%HEAD%", kPeriodDaily), "SP81000100_000020140701.k8");
  EXPECT_EQ(FormatExample("", kPeriodNone), "None.k8");
  EXPECT_EQ(FormatExample("A", kPeriodRetrievalDate), "A20201231235807.k8");
}

TEST_F(ExportTest, AStoreOutOfOrderAppendsEveryRunToItsFile) {
  Bytes a1 = Add(7, 1, 1), a2 = Add(7, 1, 2), b = Add(7, 2, 3), a3 = Add(7, 1, 4), none = MakeRecord(0x1A, {}, {9, 9});
  AddBytes(store, none);
  EXPECT_EQ(ExportK8ByPeriod(store, dir.path(), FileNaming{"R", kPeriodDaily}), 0);
  EXPECT_EQ(ReadFile(dir / "R20140701.k8"), File({a2, a1, a3}));
  EXPECT_EQ(ReadFile(dir / "R20140702.k8"), File({b}));
  EXPECT_EQ(ReadFile(dir / "R00000000.k8"), File({none}));
}

TEST_F(ExportTest, SnapshotAndFailures) {
  TestClock clock(FieldsToTime(2021, 3, 4, 5, 6, 7));
  Bytes a = Add(7, 2, 1), b = Add(7, 1, 2);
  EXPECT_EQ(SaveK8Snapshot(store, dir.path(), "SP%VERS%_%HEAD%"), 0);
  EXPECT_EQ(ReadFile(dir / "SP81000100_123420210304050607.k8"), File({a, b}));

  ScopedLog log(dir / "test.log");
  std::string deep = dir / "a/b";  // only one level is made
  EXPECT_EQ(ExportK8ByPeriod(store, deep, FileNaming{"E", kPeriodNone}), 1);
  EXPECT_EQ(SaveK8Snapshot(store, deep, "E"), 1);
  EXPECT_NE(log.Text().find("Can't export K8 files because \"" + deep + "\" can't be created.\n"), std::string::npos);

  // A file that cannot be written makes the export fail; the others are written.
  std::filesystem::create_directory(dir / "F20140701.k8");
  EXPECT_EQ(ExportK8ByPeriod(store, dir.path(), FileNaming{"F", kPeriodDaily}), 1);
  EXPECT_TRUE(std::filesystem::is_regular_file(dir / "F20140702.k8"));

  EXPECT_EQ(ExportK8ByPeriod(RecordStore(), dir / "never", FileNaming{"E", kPeriodNone}), 0);
  EXPECT_FALSE(std::filesystem::exists(dir / "never"));
}

TEST_F(ExportTest, AppendingCutsATornLastLineAndSkipsTheLinesThatEndTheFile) {
  ScopedLog log(dir / "test.log");
  AddMeas(1, 5, 6);
  AddMeas(1, 7, 8);
  const std::string file = dir / "site.MEAS";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"1,1\r\n5,6\r\n7,", "1,1\r\n5,6\r\n7,8\r\n"},                     // torn line cut, 5,6 already there
      {"1,1\r\n7,8\r", "1,1\r\n5,6\r\n7,8\r\n"},                         // a CR without its LF is torn too
      {"1,1\r\n" + std::string(5000, 'x'), "1,1\r\n5,6\r\n7,8\r\n"},     // a torn line longer than one read
      {"1,1\n5,6\n", "1,1\n5,6\n7,8\r\n"},                               // LF lines are whole lines
      {"5,6\r\n7,8\r\n1,1\r\n", "5,6\r\n7,8\r\n1,1\r\n5,6\r\n7,8\r\n"},  // further up is not the end
      {"5,6\r\n7,8\r\n7,8\r\n", "5,6\r\n7,8\r\n7,8\r\n5,6\r\n7,8\r\n"},
  };
  for (const auto& [before, after] : cases) {
    WriteFile(file, before);
    ASSERT_TRUE(WriteAsciiFiles(store, dir / "site", true)) << before;
    EXPECT_EQ(ReadFile(file), after) << before;
  }
  EXPECT_NE(log.Text().find("\"" + file + "\" ended in an incomplete line; cut back from 5005 to 5 bytes"),
            std::string::npos);
  EXPECT_NE(log.Text().find("1 lines already end \"" + file + "\""), std::string::npos);
}

TEST_F(ExportTest, GenerateReplacesTheFilesBesideTheDataFile) {
  std::string folder = dir / "my.data";
  std::filesystem::create_directory(folder);
  AddMeas(1, 1, 2);
  AddStat(2, 3);
  AddBytes(store, MakeRecord(0x55, Stamp{}, {0xAB}));
  AddMeas(3, 7, 8);
  store.path = folder + "/site.k8";
  EXPECT_EQ(GenerateAscii(store, FileNaming{}), 0);
  EXPECT_EQ(GenerateAscii(store, FileNaming{}), 0);
  EXPECT_EQ(ReadFile(folder + "/site.MEAS"), "1,2\r\n7,8\r\n");  // one file per record type, CR LF lines
  EXPECT_EQ(ReadFile(folder + "/site.---"), "Unknown: \"550B0000000000ABFE0B00\"\r\n");

  // Without a data file: named by the moment, in the working directory.
  TestClock clock(FieldsToTime(2022, 1, 2, 3, 4, 5));
  store.path.clear();
  store.headNumber = "0042";
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  EXPECT_EQ(GenerateAscii(store, FileNaming{"G%HEAD%_", kPeriodDaily}), 0);
  std::filesystem::current_path(previous);
  EXPECT_EQ(ReadFile(dir / "G0042_20220102.STAT"), "3\r\n");
}

TEST_F(ExportTest, RetrievalDateIsTakenOncePerExport) {
  TestClock clock(FieldsToTime(2023, 5, 6, 7, 8, 9), 1);  // every reading a second later
  for (int i = 0; i < 5; ++i) AddMeas(1 + i, static_cast<uint8_t>(i), 0);
  EXPECT_EQ(ExportAsciiByPeriod(store, dir.path(), FileNaming{"R", kPeriodRetrievalDate}), 0);
  EXPECT_EQ(ReadFile(dir / "R20230506070809.MEAS"), "4,0\r\n3,0\r\n2,0\r\n1,0\r\n0,0\r\n");
}

TEST_F(ExportTest, UnsafeTypeNamesAndFailedFiles) {
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
  std::filesystem::create_directory(dir / "P.MEAS");
  EXPECT_EQ(ExportAsciiByPeriod(store, dir.path(), FileNaming{"P", kPeriodNone}), 1);
  EXPECT_EQ(ReadFile(dir / "P.STAT"), "2\r\n");
  EXPECT_NE(log.Text().find("P.MEAS"), std::string::npos);
  EXPECT_EQ(ExportAsciiByPeriod(store, dir / "x/y", FileNaming{"P", kPeriodNone}), 1);
  ASSERT_EQ(mkfifo((dir / "Q.MEAS").c_str(), 0600), 0);  // not waited on
  EXPECT_EQ(ExportAsciiByPeriod(store, dir.path(), FileNaming{"Q", kPeriodNone}), 1);
}

}  // namespace
}  // namespace skyh::test
