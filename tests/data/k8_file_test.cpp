#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <filesystem>

#include "core/time_util.h"
#include "data/k8_file.h"
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

Bytes Rec(int n) { return MakeRecord(0x1A, Stamp{2014, 7, 1, 10, n / 60, n % 60}, {static_cast<uint8_t>(n), 0, 0}); }

// A store of the given records under the test header.
void Fill(RecordStore& store, const std::vector<int>& numbers) {
  Bytes header = MakeHeader();
  store.Clear();
  store.SetHeader(header.data(), static_cast<uint16_t>(header.size()));
  for (int n : numbers) AddBytes(store, Rec(n));
}

std::string FileOf(const std::vector<int>& numbers) {
  std::vector<Bytes> parts{MakeHeader()};
  for (int n : numbers) parts.push_back(Rec(n));
  return Concat(parts);
}

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(K8FileTest, OnlyATornLastRecordIsCutAnyOtherDamageIsMovedAsideUntouched) {
  LoadTestScenarios();
  TestClock clock(FieldsToTime(2024, 2, 3, 4, 5, 6));
  TempDir dir;
  ScopedLog log(dir / "test.log");
  const std::string file = dir / "D.k8";
  RecordStore add;
  Fill(add, {99});
  const std::string twenty = FileOf({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20});
  const size_t headerSize = MakeHeader().size(), recordSize = Rec(1).size();

  // Torn: the last record stops short of the length it declares (or of its
  // length field). Only that is cut.
  for (size_t kept : {size_t(1), size_t(2), size_t(7), recordSize - 1}) {
    WriteFile(file, twenty + Concat({Rec(21)}).substr(0, kept));
    std::string notice;
    ASSERT_TRUE(add.SaveToFile(file, true, &notice)) << kept;
    EXPECT_EQ(ReadFile(file), twenty + Concat({Rec(99)})) << kept;
    EXPECT_EQ(notice, "");
  }
  EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"D.k8", "test.log"}));

  // Anything else: the bytes stay as they were, beside a new file.
  auto flip = [&](size_t at, uint8_t bit) {
    std::string bytes = twenty;
    bytes[at] = static_cast<char>(bytes[at] ^ bit);
    return bytes;
  };
  const size_t fifth = headerSize + 4 * recordSize, last = headerSize + 19 * recordSize;
  struct Case {
    std::string bytes;
    size_t at;  // where the damage shows
  };
  const std::vector<Case> cases = {
      {flip(fifth + 1, 0x01), fifth},                        // leading length of record 5 one off
      {flip(fifth + 2, 0x20), fifth},                        // ... runs past the end, records behind it
      {flip(fifth + recordSize - 2, 0x04), fifth},           // its trailing copy differs
      {flip(1, 0x40), fifth - 4 * recordSize - headerSize},  // the header's length, past the end
      {flip(last + 2, 0x20), last},                          // the last record's, past the end
      {flip(last + recordSize - 1, 0x01), last},             // the last record's trailing copy
      {"not a data file", 0},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(n);
    WriteFile(file, c.bytes);
    std::string notice;
    ASSERT_TRUE(add.SaveToFile(file, true, &notice));
    EXPECT_EQ(ReadFile(file), FileOf({99}));
    const std::string aside = n == 0 ? "D.k8.damaged-20240203040506" : "D.k8.damaged-20240203040506-" + std::to_string(n + 1);
    EXPECT_EQ(ReadFile(dir / aside), c.bytes);
    EXPECT_EQ(notice, "\"" + file + "\" is damaged at byte " + std::to_string(c.at) + ": moved aside to \"" +
                          (dir / aside) + "\", a new file was started\n");
    EXPECT_NE(log.Text().find(notice), std::string::npos);
    ++n;
  }
  EXPECT_EQ(FilesIn(dir.path()).size(), 2 + cases.size());
}

TEST(K8FileTest, RecordsAlreadyAtTheEndOfTheFileAreNotAppendedAgain) {
  LoadTestScenarios();
  TempDir dir;
  ScopedLog log(dir / "test.log");
  const std::string file = dir / "D.k8";
  RecordStore store;
  WriteFile(file, FileOf({1, 2, 3}));

  Fill(store, {2, 3, 4});  // an earlier run wrote 2 and 3, then failed elsewhere
  ASSERT_TRUE(store.SaveToFile(file, true));
  EXPECT_EQ(ReadFile(file), FileOf({1, 2, 3, 4}));
  EXPECT_NE(log.Text().find("2 records already end \"" + file + "\"; they are not appended again"), std::string::npos);
  Fill(store, {1, 2, 3, 4});
  ASSERT_TRUE(store.SaveToFile(file, true));
  EXPECT_EQ(ReadFile(file), FileOf({1, 2, 3, 4}));

  // Only what ends the file counts: records found further up are appended.
  Fill(store, {3, 5});
  ASSERT_TRUE(store.SaveToFile(file, true));
  EXPECT_EQ(ReadFile(file), FileOf({1, 2, 3, 4, 3, 5}));
  Fill(store, {4, 5, 3});
  ASSERT_TRUE(store.SaveToFile(file, true));
  EXPECT_EQ(ReadFile(file), FileOf({1, 2, 3, 4, 3, 5, 4, 5, 3}));

  // Same time, other bytes: a different record.
  Bytes sameTime = MakeRecord(0x1A, Stamp{2014, 7, 1, 10, 0, 3}, {3, 1, 0});
  Fill(store, {});
  AddBytes(store, sameTime);
  ASSERT_TRUE(store.SaveToFile(file, true));
  EXPECT_EQ(ReadFile(file), FileOf({1, 2, 3, 4, 3, 5, 4, 5, 3}) + Concat({sameTime}));

  // A torn end is cut first; what stays whole still counts.
  WriteFile(file, FileOf({1, 2}) + Concat({Rec(3)}).substr(0, 9));
  Fill(store, {2, 3});
  ASSERT_TRUE(store.SaveToFile(file, true));
  EXPECT_EQ(ReadFile(file), FileOf({1, 2, 3}));
}

}  // namespace
}  // namespace skyh::test
