#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "data/record_store.h"
#include "store_fixtures.h"
#include "support/temp_dir.h"

namespace skyh::test {
namespace {

// Makes every write beyond `bytes` of a file fail, as a full disk does.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &previous);
    rlimit limit = previous;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
  }

 private:
  rlimit previous{};
  void (*previousHandler)(int) = nullptr;
};

TEST(K8FileTest, AnInterruptedWriteLeavesTheOldFileLoadable) {
  LoadTestScenarios();
  TempDir dir;
  Bytes header = MakeHeader();
  RecordStore small;
  small.SetHeader(header.data(), static_cast<uint16_t>(header.size()));
  AddBytes(small, MakeRecord(0x1A, Stamp{2014, 7, 1}, {1, 1}));
  std::string file = dir / "site.k8";
  ASSERT_TRUE(small.SaveToFile(file, false));
  const std::string before = ReadFile(file);

  RecordStore big;
  big.SetHeader(header.data(), static_cast<uint16_t>(header.size()));
  for (int i = 0; i < 2000; ++i) {
    AddBytes(big, MakeRecord(0x1A, Stamp{2014, 7, 1 + i % 28, 0, i % 60, 0}, {static_cast<uint8_t>(i), 0, 0, 0}));
  }
  {
    FileSizeLimit limit(before.size() + 1000);
    // Replacing: the old file stays whole and no temporary file is left.
    EXPECT_FALSE(big.SaveToFile(file, false));
    // Appending: the partial write is cut back off.
    EXPECT_FALSE(big.SaveToFile(file, true));
  }
  EXPECT_EQ(ReadFile(file), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
  {
    FileSizeLimit limit(1000);  // a new file not written whole is not left behind
    EXPECT_FALSE(big.SaveToFile(dir / "new.k8", true));
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "new.k8"));

  // Later appends are reachable again.
  ASSERT_TRUE(big.SaveToFile(file, true));
  RecordStore back;
  ASSERT_TRUE(back.LoadFromFile(file));
  EXPECT_EQ(back.Count(), 2001);
}

}  // namespace
}  // namespace skyh::test
