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
  std::vector<std::string> args = {"-ASCII", first, "-ascii", second, "-ASCII", "\"" + second + "\"", "x", "-ASCII"};
  EXPECT_EQ(RunBatchConversion(args, "the command line"), 0);
  // Only the file name is lower-cased and cut; the folder stays as it is.
  EXPECT_EQ(ReadFile(dir / "Run.K8x/site1.MEAS"), "1,2\r\n");
  EXPECT_EQ(ReadFile(dir / "Run.K8x/site1.STAT"), "3\r\n");
  EXPECT_EQ(ReadFile(dir / "second.STAT"), "3\r\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "second.MEAS"));
  std::string text = log.Text();
  EXPECT_NE(text.find("SkyHarvester started from command line\n"), std::string::npos);
  EXPECT_NE(text.find("Command line (8 params): the command line\n"), std::string::npos);
  EXPECT_EQ(text.find("Error"), std::string::npos);
}

TEST_F(BatchConversionTest, AFileThatCannotBeLoadedIsLoggedAndTheNextOneConverted) {
  ScopedLog log(dir / "batch.log");
  std::string missing = dir / "missing.k8";
  std::string notData = dir / "notdata.k8";
  WriteFile(notData, "hello");
  EXPECT_EQ(RunBatchConversion({"-ASCII", missing, "-ASCII", notData, "-ASCII", second}, "x"), 0);
  std::string text = log.Text();
  EXPECT_NE(text.find("Error, can't open " + missing + "\n"), std::string::npos);
  EXPECT_NE(text.find("Error, can't open " + notData + "\n"), std::string::npos);
  EXPECT_EQ(ReadFile(dir / "second.STAT"), "3\r\n");

  // No option at all: only the two start lines.
  ScopedLog quiet(dir / "quiet.log");
  EXPECT_EQ(RunBatchConversion({second, first}, "y"), 0);
  EXPECT_NE(quiet.Text().find("Command line (2 params): y\n"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir / "Run.K8x/site1.MEAS"));
}

}  // namespace
}  // namespace skyh::test
