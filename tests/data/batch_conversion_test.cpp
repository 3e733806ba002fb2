#include "data/batch_conversion.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "store_fixtures.h"
#include "support/temp_dir.h"

namespace skyh::test {
namespace {

class BatchConversionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadTestScenarios();
    Bytes header = MakeHeader();
    RecordStore store;
    store.SetHeader(header.data(), static_cast<uint16_t>(header.size()));
    AddBytes(store, MakeRecord(0x1A, Stamp{2014, 7, 1}, {1, 2}));
    AddBytes(store, MakeRecord(0x2B, Stamp{2014, 7, 2}, {3}));
    std::filesystem::create_directory(dir / "Run.K8x");
    first = dir / "Run.K8x/Site1.K8";
    second = dir / "second.k8";
    ASSERT_TRUE(store.SaveToFile(first, false));
    store.RemoveAt(0);
    ASSERT_TRUE(store.SaveToFile(second, false));
  }

  TempDir dir;
  std::string first, second;
};

TEST_F(BatchConversionTest, ConvertsTheFileAfterEachAsciiOption) {
  ScopedLog log(dir / "batch.log");
  std::string missing = dir / "missing.k8";
  WriteFile(dir / "notdata.k8", "hello");
  std::vector<std::string> args = {"-ASCII", missing, "-ASCII", first,  "-ascii", second,
                                   "-ASCII", dir / "notdata.k8", "x", "-ASCII"};
  EXPECT_EQ(RunBatchConversion(args, "the command line"), 1) << "two inputs failed";
  // Only the file name is lower-cased and cut; the folder stays as it is.
  EXPECT_EQ(ReadFile(dir / "Run.K8x/site1.MEAS"), "1,2\r\n");
  EXPECT_EQ(ReadFile(dir / "Run.K8x/site1.STAT"), "3\r\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "second.STAT"));  // after "-ascii"
  std::string text = log.Text();
  EXPECT_NE(text.find("SkyHarvester started from command line\n"), std::string::npos);
  EXPECT_NE(text.find("Command line (10 params): the command line\n"), std::string::npos);
  EXPECT_NE(text.find("Error, can't open " + missing + "\n"), std::string::npos);
  EXPECT_NE(text.find("Error, can't open " + (dir / "notdata.k8") + "\n"), std::string::npos);

  // A quoted name converts too.
  EXPECT_EQ(RunBatchConversion({"-ASCII", "\"" + second + "\""}, "y"), 0);
  EXPECT_EQ(ReadFile(dir / "second.STAT"), "3\r\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "second.MEAS"));

  // A damaged file is converted as far as it reads, and fails the run.
  WriteFile(second, ReadFile(second) + std::string("\x1A\x00\x00\x00\x00\x00", 6));
  std::filesystem::remove(dir / "second.STAT");
  EXPECT_EQ(RunBatchConversion({"-ASCII", second}, "z"), 1);
  EXPECT_EQ(ReadFile(dir / "second.STAT"), "3\r\n");
  EXPECT_NE(log.Text().find("second.k8: damaged at byte "), std::string::npos);
}

}  // namespace
}  // namespace skyh::test
