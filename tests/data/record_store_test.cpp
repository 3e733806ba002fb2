#include "data/record_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <random>

#include "store_fixtures.h"
#include "support/temp_dir.h"

namespace skyh::test {
namespace {

class RecordStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { LoadTestScenarios(); }
};

Bytes Meas(int day, int second, uint8_t a = 1, uint8_t b = 2) {
  return MakeRecord(0x1A, Stamp{2014, 7, day, 12, 0, second}, {a, b});
}

std::vector<std::string> Raws(const std::vector<Bytes>& records) {
  std::vector<std::string> out;
  out.reserve(records.size());
  for (const Bytes& r : records) out.push_back(Concat({r}));
  return out;
}

bool Load(const std::string& image, RecordStore& store) {
  store.Clear();
  return store.LoadFromBuffer(reinterpret_cast<const uint8_t*>(image.data()), image.size());
}

TEST_F(RecordStoreTest, SaveAndLoadKeepHeaderAndRecordsInOrder) {
  TempDir dir;
  RecordStore store;
  Bytes header = MakeHeader({0x81, 0x00, 0x01, 0x00, 0x02, 0x0E});
  EXPECT_TRUE(store.SetHeader(header.data(), static_cast<uint16_t>(header.size())));
  EXPECT_EQ(store.scenarioKey, "SP81000100");
  EXPECT_EQ(store.parameterFileName, "SP81FF0100.par");
  std::vector<Bytes> records = {Meas(3, 1), MakeRecord(0x55, Stamp{}, {9, 9, 9}), Meas(1, 2),
                                MakeRecord(0x2B, Stamp{2014, 7, 2}, {7})};
  for (const Bytes& r : records) EXPECT_TRUE(AddBytes(store, r));
  EXPECT_EQ(store.TotalSize(), header.size() + Concat(records).size());

  std::string file = dir / "site.k8";
  ASSERT_TRUE(store.SaveToFile(file, false));
  EXPECT_EQ(ReadFile(file), Concat({header}) + Concat(records));
  RecordStore loaded;
  ASSERT_TRUE(loaded.LoadFromFile(file));
  ASSERT_NE(loaded.Header(), nullptr);
  EXPECT_EQ(RawOf(*loaded.Header()), Concat({header}));
  EXPECT_EQ(loaded.scenarioKey, "SP81000100");
  EXPECT_EQ(loaded.UnknownCount(), 1);
  EXPECT_EQ(RawList(loaded), Raws(records));

  // Saving without append replaces the whole file.
  loaded.RemoveAt(0);
  ASSERT_TRUE(loaded.SaveToFile(file, false));
  EXPECT_EQ(ReadFile(file), Concat({header, records[1], records[2], records[3]}));
  EXPECT_FALSE(loaded.LoadFromFile(dir / "missing.k8"));
}

TEST_F(RecordStoreTest, LoadStopsAtTheFirstBrokenLengthAndSkipsRejectedRecords) {
  Bytes header = MakeHeader();
  Bytes a = Meas(1, 1), b = Meas(2, 2), c = Meas(3, 3);
  RecordStore store;

  std::string whole = Concat({header, a, b, c});
  EXPECT_TRUE(Load(whole.substr(0, whole.size() - 4), store));  // ends mid-record
  EXPECT_EQ(RawList(store), Raws({a, b}));

  Bytes broken = b;  // trailing length differs
  broken[broken.size() - 2] ^= 1;
  EXPECT_TRUE(Load(Concat({header, a, broken, c}), store));
  EXPECT_EQ(RawList(store), Raws({a}));

  Bytes marker = b;  // lengths agree, end marker wrong: skipped
  marker[marker.size() - 3] = 0x00;
  EXPECT_TRUE(Load(Concat({header, a, marker, c}), store));
  EXPECT_EQ(RawList(store), Raws({a, c}));

  Bytes flagged = a;  // the top two bits of both length fields do not count
  flagged[2] |= 0xC0;
  flagged.back() |= 0xC0;
  EXPECT_TRUE(Load(Concat({header, flagged}), store));
  EXPECT_EQ(store.Count(), 1);

  // Not a data file: nothing loads.
  EXPECT_FALSE(Load(Concat({a, header}), store));
  EXPECT_EQ(store.Count(), 0);
  EXPECT_EQ(store.Header(), nullptr);
  EXPECT_FALSE(Load("|", store));

  // A header that decoding rejects leaves the store without one; records still load.
  Bytes badHeader = header;
  badHeader[badHeader.size() - 3] = 0;
  EXPECT_TRUE(Load(Concat({badHeader, a}), store));
  EXPECT_EQ(store.Header(), nullptr);
  EXPECT_EQ(store.Count(), 1);
}

TEST_F(RecordStoreTest, AppendAddsNoSecondHeaderAndRepairsATornEnd) {
  TempDir dir;
  Bytes header = MakeHeader();
  RecordStore store;
  store.SetHeader(header.data(), static_cast<uint16_t>(header.size()));
  AddBytes(store, Meas(1, 1));
  AddBytes(store, Meas(2, 2));
  const std::string h = Concat({header}), records = Concat({Meas(1, 1), Meas(2, 2)});
  const std::string other = Concat({Meas(3, 3)});

  std::string file = dir / "a.k8";
  ASSERT_TRUE(store.SaveToFile(file, true));  // missing: header first
  EXPECT_EQ(ReadFile(file), h + records);
  WriteFile(file, h + other);
  ASSERT_TRUE(store.SaveToFile(file, true));  // existing: records only
  EXPECT_EQ(ReadFile(file), h + other + records);

  // A power cut in an earlier append left half a record: it is cut away.
  WriteFile(file, h + other + records.substr(0, 7));
  ASSERT_TRUE(store.SaveToFile(file, true));
  EXPECT_EQ(ReadFile(file), h + other + records);

  // An empty file, or one whose header is torn, gets the header first.
  for (const std::string& start : {std::string(), h.substr(0, 5)}) {
    WriteFile(file, start);
    ASSERT_TRUE(store.SaveToFile(file, true));
    EXPECT_EQ(ReadFile(file), h + records);
  }

  // Something in the way of the file: failure, not success.
  std::filesystem::create_directory(dir / "b.k8");
  EXPECT_FALSE(store.SaveToFile(dir / "b.k8", false));
  EXPECT_FALSE(store.SaveToFile(dir / "b.k8", true));
  // A pipe is not waited on.
  ASSERT_EQ(mkfifo((dir / "c.k8").c_str(), 0600), 0);
  EXPECT_FALSE(store.SaveToFile(dir / "c.k8", true));
}

TEST_F(RecordStoreTest, DuplicatesAndOrder) {
  RecordStore store;
  Bytes a = Meas(1, 1, 5, 5), sameTimeOther = Meas(1, 1, 5, 6), b = Meas(2, 2);
  Bytes u = MakeRecord(0x55, Stamp{}, {1}), u2 = MakeRecord(0x55, Stamp{}, {2});
  for (const Bytes& r : {a, b, sameTimeOther, a, u, u2, u, a}) AddBytes(store, r);
  EXPECT_EQ(store.RemoveDuplicates(), 3);
  EXPECT_EQ(RawList(store), Raws({a, b, sameTimeOther, u, u2}));
  EXPECT_EQ(store.UnknownCount(), 2);
  EXPECT_EQ(store.RemoveDuplicates(), 0);

  // Stable; records without time first ascending, last descending.
  RecordStore ordered;
  Bytes late = Meas(5, 0), early1 = Meas(1, 0, 1), early2 = Meas(1, 0, 2), none = MakeRecord(0x1A, Stamp{}, {3, 3});
  for (const Bytes& r : {late, early1, none, early2}) AddBytes(ordered, r);
  EXPECT_TRUE(ordered.Order(true));
  EXPECT_EQ(RawList(ordered), Raws({none, early1, early2, late}));
  EXPECT_FALSE(ordered.Order(true));
  EXPECT_TRUE(ordered.Order(false));
  EXPECT_EQ(RawList(ordered), Raws({late, early1, early2, none}));
  EXPECT_FALSE(ordered.Order(false));
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

TEST_F(RecordStoreTest, EditingOperationsKeepTheUnknownCount) {
  Bytes header = MakeHeader();
  Bytes known = Meas(1, 1), unknown = MakeRecord(0x55, Stamp{}, {1, 2, 3}), rejected = known;
  rejected.back() ^= 1;
  RecordStore store;
  store.SetHeader(header.data(), static_cast<uint16_t>(header.size()));
  EXPECT_FALSE(AddBytes(store, rejected));
  for (const Bytes& r : {known, unknown, known, unknown}) AddBytes(store, r);
  store.RemoveAt(1);
  store.RemoveAt(7);  // outside: nothing happens
  store.Reverse();
  EXPECT_EQ(RawList(store), Raws({unknown, known, known}));
  store.AddAllFrom(store);
  EXPECT_EQ(store.UnknownCount(), 2);
  RecordStore copy;
  copy.AssignFrom(store);
  EXPECT_EQ(RawList(copy), RawList(store));
  EXPECT_EQ(copy.UnknownCount(), 2);
  store.ClearRecords();
  EXPECT_EQ(store.UnknownCount(), 0);
  EXPECT_EQ(store.TotalSize(), header.size());

  // A header too short for the version fields is taken without reading past it.
  Bytes shortHeader = MakeRecord(0x7C, Stamp{}, {});
  EXPECT_TRUE(copy.SetHeader(shortHeader.data(), static_cast<uint16_t>(shortHeader.size())));
  EXPECT_EQ(copy.scenarioKey, "SPFE0A0000");
}

}  // namespace
}  // namespace skyh::test
