// The record store and its K8 files.
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <random>

#include "store_fixtures.h"

namespace skyh::test {
namespace {

class RecordStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { LoadTestScenarios(); }
};

Bytes Rec(int n) { return MakeRecord(0x1A, Stamp{2014, 7, 1, 10, n / 60, n % 60}, {static_cast<uint8_t>(n), 0, 0}); }

std::vector<std::string> Raws(const std::vector<Bytes>& records) {
  std::vector<std::string> out;
  out.reserve(records.size());
  for (const Bytes& r : records) out.emplace_back(r.begin(), r.end());
  return out;
}

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

TEST_F(RecordStoreTest, LoadStopsAtTheFirstBrokenLengthAndSkipsRejectedRecords) {
  Bytes header = MakeHeader(), a = Rec(1), b = Rec(2), c = Rec(3);
  Bytes broken = b, marker = b, flagged = a, badHeader = header;
  broken[broken.size() - 2] ^= 1;
  marker[marker.size() - 3] = 0x00;
  flagged[2] |= 0xC0;
  flagged.back() |= 0xC0;
  badHeader[badHeader.size() - 3] = 0;
  const std::string whole = Concat({header, a, b, c});
  // What loads, and the records it gives.
  const std::tuple<std::string, bool, std::vector<Bytes>> cases[] = {
      {whole.substr(0, whole.size() - 4), true, {a, b}},  // ends mid-record
      {Concat({header, a, broken, c}), true, {a}},        // trailing length differs
      {Concat({header, a, marker, c}), true, {a, c}},     // lengths agree, end marker wrong: skipped
      {Concat({header, flagged}), true, {flagged}},       // the top two bits of both lengths do not count
      {Concat({a, header}), false, {}},                   // not a data file
      {"|", false, {}},
      {Concat({badHeader, a}), true, {a}},  // a header that decoding rejects: none, records still load
  };
  RecordStore store;
  for (const auto& [image, ok, records] : cases) {
    store.Clear();
    EXPECT_EQ(store.LoadFromBuffer(reinterpret_cast<const uint8_t*>(image.data()), image.size()), ok);
    EXPECT_EQ(RawList(store), Raws(records));
  }
  EXPECT_EQ(store.Header(), nullptr);  // the last case's
  AddBytes(store, c);
  store.Reverse();
  EXPECT_EQ(RawList(store), Raws({c, a}));
  // One too short for the version fields is taken without reading past it.
  Bytes shortHeader = MakeRecord(0x7C, Stamp{}, {});
  EXPECT_TRUE(store.SetHeader(shortHeader.data(), static_cast<uint16_t>(shortHeader.size())));
  EXPECT_EQ(store.scenarioKey, "SPFE0A0000");
}

TEST_F(RecordStoreTest, AppendAddsNoSecondHeaderAndRepairsATornEnd) {
  TempDir dir;
  RecordStore store;
  Fill(store, {1, 2});
  const std::string file = dir / "a.k8";
  ASSERT_TRUE(store.SaveToFile(file, true));  // missing: header first
  EXPECT_EQ(ReadFile(file), FileOf({1, 2}));
  WriteFile(file, FileOf({3}));
  ASSERT_TRUE(store.SaveToFile(file, true));  // existing: records only
  EXPECT_EQ(ReadFile(file), FileOf({3, 1, 2}));

  // An empty file, or one whose header is torn, gets the header first.
  for (const std::string& start : {std::string(), FileOf({}).substr(0, 5)}) {
    WriteFile(file, start);
    ASSERT_TRUE(store.SaveToFile(file, true));
    EXPECT_EQ(ReadFile(file), FileOf({1, 2}));
  }

  // A pipe in the way: failure, not success, and not waited on.
  ASSERT_EQ(mkfifo((dir / "c.k8").c_str(), 0600), 0);
  EXPECT_FALSE(store.SaveToFile(dir / "c.k8", true));
}

// The store's fast duplicate removal and order against plain reference ones
// (a stable order only shows with more records than a small-sort threshold).
TEST_F(RecordStoreTest, FastDuplicateRemovalAndOrderMatchPlainReferences) {
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    RecordStore store;
    std::vector<std::pair<int64_t, std::string>> keyed;
    int n = 1 + static_cast<int>(random() % 60);
    for (int i = 0; i < n; ++i) {
      // Few distinct days and bodies, so that equal times and equal bytes are common.
      int day = static_cast<int>(random() % 4);
      uint8_t body = static_cast<uint8_t>(random() % 3);
      AddBytes(store, MakeRecord(random() % 2 ? 0x1A : 0x55, day == 0 ? Stamp{} : Stamp{2014, 7, day}, {body, 0}));
      keyed.emplace_back(store.At(i)->time(), RawOf(*store.At(i)));
    }
    for (bool ascending : {true, false}) {
      auto sorted = keyed;
      std::stable_sort(sorted.begin(), sorted.end(),
                       [&](const auto& x, const auto& y) { return ascending ? x.first < y.first : x.first > y.first; });
      std::vector<std::string> expected;
      expected.reserve(sorted.size());
      for (auto& k : sorted) expected.push_back(k.second);
      RecordStore copy;
      copy.AddAllFrom(store);
      EXPECT_EQ(copy.Order(ascending), sorted != keyed);
      EXPECT_EQ(RawList(copy), expected);
    }
    std::vector<std::string> unique;
    for (size_t i = 0; i < keyed.size(); ++i)
      if (std::find(keyed.begin(), keyed.begin() + long(i), keyed[i]) == keyed.begin() + long(i))
        unique.push_back(keyed[i].second);
    EXPECT_EQ(store.RemoveDuplicates(), static_cast<int32_t>(keyed.size() - unique.size()));
    EXPECT_EQ(RawList(store), unique);
    int unknown = 0;
    for (int32_t i = 0; i < store.Count(); ++i) unknown += store.At(i)->scenario() == nullptr;
    EXPECT_EQ(store.UnknownCount(), unknown);
  }
}

// Makes every write beyond `bytes` of a file fail, as a full disk does.
struct FileSizeLimit {
  explicit FileSizeLimit(rlim_t bytes) : handler(std::signal(SIGXFSZ, SIG_IGN)) {
    getrlimit(RLIMIT_FSIZE, &previous);
    const rlimit limit{bytes, previous.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, handler);
  }
  void (*handler)(int);
  rlimit previous{};
};

long FilesIn(const std::string& folder) { return std::distance(std::filesystem::directory_iterator(folder), {}); }

TEST_F(RecordStoreTest, AnInterruptedWriteLeavesTheOldFileLoadable) {
  TempDir dir;
  const std::string file = dir / "site.k8", before = FileOf({0});
  WriteFile(file, before);
  RecordStore big;
  Fill(big, {});
  for (int i = 1; i <= 2000; ++i) AddBytes(big, Rec(i));
  {
    FileSizeLimit limit(before.size() + 1000);
    // Replacing: the old file stays whole and no temporary file is left.
    EXPECT_FALSE(big.SaveToFile(file, false));
    // Appending: the partial write is cut back off.
    EXPECT_FALSE(big.SaveToFile(file, true));
  }
  EXPECT_EQ(ReadFile(file), before);
  EXPECT_EQ(FilesIn(dir.path()), 1);
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

TEST_F(RecordStoreTest, OnlyATornLastRecordIsCutAnyOtherDamageIsMovedAsideUntouched) {
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
  EXPECT_EQ(FilesIn(dir.path()), 2);

  // Anything else: the bytes stay as they were, beside a new file.
  auto flip = [&](size_t at, uint8_t bit) {
    std::string bytes = twenty;
    bytes[at] = static_cast<char>(bytes[at] ^ bit);
    return bytes;
  };
  const size_t fifth = headerSize + 4 * recordSize, last = headerSize + 19 * recordSize;
  // The bytes, and where the damage shows.
  const std::vector<std::pair<std::string, size_t>> cases = {
      {flip(fifth + 1, 0x01), fifth},                        // leading length of record 5 one off
      {flip(1, 0x40), fifth - 4 * recordSize - headerSize},  // the header's length, past the end
      {flip(last + 2, 0x20), last},                          // the last record's, past the end
      {flip(last + recordSize - 1, 0x01), last},             // the last record's trailing copy
      {"not a data file", 0},
  };
  int n = 0;
  for (const auto& [bytes, at] : cases) {
    SCOPED_TRACE(n);
    WriteFile(file, bytes);
    std::string notice;
    ASSERT_TRUE(add.SaveToFile(file, true, &notice));
    EXPECT_EQ(ReadFile(file), FileOf({99}));
    const std::string aside =
        n == 0 ? "D.k8.damaged-20240203040506" : "D.k8.damaged-20240203040506-" + std::to_string(n + 1);
    EXPECT_EQ(ReadFile(dir / aside), bytes);
    EXPECT_EQ(notice, "\"" + file + "\" is damaged at byte " + std::to_string(at) + ": moved aside to \"" +
                          (dir / aside) + "\", a new file was started\n");
    EXPECT_NE(log.Text().find(notice), std::string::npos);
    ++n;
  }
  EXPECT_EQ(FilesIn(dir.path()), 2 + long(cases.size()));
}

TEST_F(RecordStoreTest, RecordsAlreadyAtTheEndOfTheFileAreNotAppendedAgain) {
  TempDir dir;
  ScopedLog log(dir / "test.log");
  const std::string file = dir / "D.k8";
  RecordStore store;
  WriteFile(file, FileOf({1, 2, 3}));

  Fill(store, {2, 3});  // an earlier run wrote both, then failed elsewhere: nothing to add
  ASSERT_TRUE(store.SaveToFile(file, true));
  EXPECT_EQ(ReadFile(file), FileOf({1, 2, 3}));
  EXPECT_NE(log.Text().find("2 records already end \"" + file + "\"; they are not appended again"), std::string::npos);

  // Only what ends the file counts: records found further up are appended.
  Fill(store, {2, 5});
  ASSERT_TRUE(store.SaveToFile(file, true));
  EXPECT_EQ(ReadFile(file), FileOf({1, 2, 3, 2, 5}));

  // Same time, other bytes: a different record.
  Bytes sameTime = MakeRecord(0x1A, Stamp{2014, 7, 1, 10, 0, 5}, {5, 1, 0});
  Fill(store, {});
  AddBytes(store, sameTime);
  ASSERT_TRUE(store.SaveToFile(file, true));
  EXPECT_EQ(ReadFile(file), FileOf({1, 2, 3, 2, 5}) + Concat({sameTime}));

  // A torn end is cut first; what stays whole still counts, the rest is added.
  WriteFile(file, FileOf({1, 2}) + Concat({Rec(3)}).substr(0, 9));
  Fill(store, {2, 3});
  ASSERT_TRUE(store.SaveToFile(file, true));
  EXPECT_EQ(ReadFile(file), FileOf({1, 2, 3}));
}

}  // namespace
}  // namespace skyh::test
