#include "data/k8_export.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "store_fixtures.h"
#include "support/temp_dir.h"

namespace skyh::test {
namespace {

class K8ExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadTestScenarios();
    store.SetHeader(header.data(), static_cast<uint16_t>(header.size()));
    store.headNumber = "1234";
  }
  Bytes Add(int month, int day, uint8_t tag) {
    Bytes r = MakeRecord(0x1A, Stamp{2014, month, day, 10, 0, tag}, {tag, 0});
    AddBytes(store, r);
    return r;
  }
  // The file's expected content: the header, then `records`.
  std::string File(const std::vector<Bytes>& records) const { return Concat({header}) + Concat(records); }

  TempDir dir;
  Bytes header = MakeHeader();
  RecordStore store;
};

TEST_F(K8ExportTest, MonthlyFilesHoldEachRunReversed) {
  Bytes a = Add(7, 30, 1), b = Add(7, 31, 2), c = Add(8, 1, 3), d = Add(8, 2, 4);
  EXPECT_EQ(ExportK8ByPeriod(store, dir.path(), FileNaming{"X", kPeriodMonthly}), 0);
  EXPECT_EQ(ReadFile(dir / "X201407.k8"), File({b, a}));
  EXPECT_EQ(ReadFile(dir / "X201408.k8"), File({d, c}));
  EXPECT_EQ(ExportK8ByPeriod(store, dir.path(), FileNaming{"", kPeriodNone}), 0);
  EXPECT_EQ(ReadFile(dir / "None.k8"), File({d, c, b, a}));
}

TEST_F(K8ExportTest, DailyExportOfADescendingStoreWritesEachDayAscendingAndTwiceAddsNothing) {
  Bytes d2b = Add(7, 2, 4), d2a = Add(7, 2, 3), d1b = Add(7, 1, 2), d1a = Add(7, 1, 1);
  std::string out = dir / "out";  // made on the way
  EXPECT_EQ(ExportK8ByPeriod(store, out, FileNaming{"D", kPeriodDaily}), 0);
  EXPECT_EQ(ReadFile(out + "/D20140701.k8"), File({d1a, d1b}));
  EXPECT_EQ(ReadFile(out + "/D20140702.k8"), File({d2a, d2b}));
  EXPECT_EQ(ExportK8ByPeriod(store, out, FileNaming{"D", kPeriodDaily}), 0);
  EXPECT_EQ(ReadFile(out + "/D20140701.k8"), File({d1a, d1b}));
  EXPECT_EQ(ReadFile(out + "/D20140702.k8"), File({d2a, d2b}));
  // A newer record: only it is appended.
  RecordStore newer;
  newer.SetHeader(header.data(), static_cast<uint16_t>(header.size()));
  Bytes d2c = MakeRecord(0x1A, Stamp{2014, 7, 2, 11}, {5, 0});
  AddBytes(newer, d2c);
  for (int i = 0; i < store.Count(); ++i) newer.AddCopy(store.At(i)->raw(), store.At(i)->length());
  EXPECT_EQ(ExportK8ByPeriod(newer, out, FileNaming{"D", kPeriodDaily}), 0);
  EXPECT_EQ(ReadFile(out + "/D20140702.k8"), File({d2a, d2b, d2c}));
  EXPECT_EQ(ReadFile(out + "/D20140701.k8"), File({d1a, d1b}));
}

TEST_F(K8ExportTest, AStoreOutOfOrderAppendsEveryRunToItsFile) {
  Bytes a1 = Add(7, 1, 1), a2 = Add(7, 1, 2), b = Add(7, 2, 3), a3 = Add(7, 1, 4), none = MakeRecord(0x1A, {}, {9, 9});
  AddBytes(store, none);
  EXPECT_EQ(ExportK8ByPeriod(store, dir.path(), FileNaming{"R", kPeriodDaily}), 0);
  EXPECT_EQ(ReadFile(dir / "R20140701.k8"), File({a2, a1, a3}));
  EXPECT_EQ(ReadFile(dir / "R20140702.k8"), File({b}));
  EXPECT_EQ(ReadFile(dir / "R00000000.k8"), File({none}));
}

TEST_F(K8ExportTest, SnapshotAndFailures) {
  TestClock clock(FieldsToTime(2021, 3, 4, 5, 6, 7));
  Bytes a = Add(7, 2, 1), b = Add(7, 1, 2);
  EXPECT_EQ(SaveK8Snapshot(store, dir.path(), "SP%VERS%_%HEAD%"), 0);
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
  EXPECT_NE(log.Text().find("F20140701.k8"), std::string::npos);

  RecordStore empty;
  EXPECT_EQ(ExportK8ByPeriod(empty, dir / "never", FileNaming{"E", kPeriodNone}), 0);
  EXPECT_FALSE(std::filesystem::exists(dir / "never"));
}

}  // namespace
}  // namespace skyh::test
