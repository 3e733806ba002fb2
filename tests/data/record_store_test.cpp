#include "data/record_store.h"

#include <gtest/gtest.h>

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

TEST_F(RecordStoreTest, SaveAndLoadKeepHeaderAndRecordsInOrder) {
  TempDir dir;
  RecordStore store;
  Bytes header = MakeHeader({0x81, 0x00, 0x01, 0x00, 0x02, 0x0E});
  EXPECT_TRUE(store.SetHeader(header.data(), static_cast<uint16_t>(header.size())));
  EXPECT_EQ(store.scenarioKey, "SP81000100");
  EXPECT_EQ(store.parameterFileName, "SP81FF0100.par");
  EXPECT_EQ(store.versionNumber[0], 0x02);
  EXPECT_EQ(store.versionNumber[1], 0x0E);
  std::vector<Bytes> records = {Meas(3, 1), MakeRecord(0x55, Stamp{}, {9, 9, 9}), Meas(1, 2),
                                MakeRecord(0x2B, Stamp{2014, 7, 2}, {7})};
  for (const Bytes& r : records) EXPECT_TRUE(AddBytes(store, r));
  EXPECT_EQ(store.UnknownCount(), 1);
  EXPECT_EQ(store.TotalSize(), header.size() + Concat(records).size());

  std::string file = dir / "site.k8";
  ASSERT_TRUE(store.SaveToFile(file, false));
  EXPECT_EQ(ReadFile(file), Concat({header}) + Concat(records));

  RecordStore loaded;
  ASSERT_TRUE(loaded.LoadFromFile(file));
  ASSERT_NE(loaded.Header(), nullptr);
  EXPECT_EQ(RawOf(*loaded.Header()), Concat({header}));
  EXPECT_EQ(loaded.scenarioKey, "SP81000100");
  EXPECT_EQ(loaded.path, file);
  EXPECT_EQ(loaded.UnknownCount(), 1);
  std::vector<std::string> expected;
  for (const Bytes& r : records) expected.push_back(Concat({r}));
  EXPECT_EQ(RawList(loaded), expected);

  // Saving without append replaces the whole file.
  loaded.RemoveAt(0);
  ASSERT_TRUE(loaded.SaveToFile(file, false));
  EXPECT_EQ(ReadFile(file), Concat({header, records[1], records[2], records[3]}));
}

TEST_F(RecordStoreTest, LoadStopsAtTheFirstBrokenLengthAndSkipsRejectedRecords) {
  Bytes header = MakeHeader();
  Bytes a = Meas(1, 1), b = Meas(2, 2), c = Meas(3, 3);
  auto load = [](const std::string& image, RecordStore& store) {
    store.Clear();
    return store.LoadFromBuffer(reinterpret_cast<const uint8_t*>(image.data()), image.size());
  };
  RecordStore store;

  // Ends in the middle of a record: the complete ones stay.
  std::string whole = Concat({header, a, b, c});
  EXPECT_TRUE(load(whole.substr(0, whole.size() - 4), store));
  EXPECT_EQ(RawList(store), (std::vector<std::string>{Concat({a}), Concat({b})}));

  // Trailing length differs: the parse ends there.
  Bytes broken = b;
  broken[broken.size() - 2] ^= 1;
  EXPECT_TRUE(load(Concat({header, a, broken, c}), store));
  EXPECT_EQ(RawList(store), std::vector<std::string>{Concat({a})});

  // A length field of 0 ends it as well.
  Bytes zero = b;
  zero[1] = zero[2] = 0;
  EXPECT_TRUE(load(Concat({header, a, zero, c}), store));
  EXPECT_EQ(store.Count(), 1);

  // A record whose lengths agree but whose end marker is wrong is skipped.
  Bytes marker = b;
  marker[marker.size() - 3] = 0x00;
  EXPECT_TRUE(load(Concat({header, a, marker, c}), store));
  EXPECT_EQ(RawList(store), (std::vector<std::string>{Concat({a}), Concat({c})}));

  // Too short to be a record (lengths agree): dropped, parse goes on.
  Bytes tiny = {0x1A, 0x05, 0x00, 0x05, 0x00};
  EXPECT_TRUE(load(Concat({header, tiny, c}), store));
  EXPECT_EQ(RawList(store), std::vector<std::string>{Concat({c})});

  // The top two bits of both length fields do not count.
  Bytes flagged = a;
  flagged[2] |= 0xC0;
  flagged.back() |= 0xC0;
  EXPECT_TRUE(load(Concat({header, flagged}), store));
  EXPECT_EQ(store.Count(), 1);

  // Not a data file: nothing loads.
  EXPECT_FALSE(load(Concat({a, header}), store));
  EXPECT_EQ(store.Count(), 0);
  EXPECT_EQ(store.Header(), nullptr);
  EXPECT_FALSE(load("", store));
  EXPECT_FALSE(load("|", store));
  Bytes tornHeader = header;
  tornHeader.pop_back();
  EXPECT_FALSE(load(Concat({tornHeader}), store));

  // A header that decoding rejects leaves the store without one, records still load.
  Bytes badHeader = header;
  badHeader[badHeader.size() - 3] = 0;
  EXPECT_TRUE(load(Concat({badHeader, a}), store));
  EXPECT_EQ(store.Header(), nullptr);
  EXPECT_EQ(store.Count(), 1);

  RecordStore missing;
  EXPECT_FALSE(missing.LoadFromFile("/nonexistent/site.k8"));
}

TEST_F(RecordStoreTest, AppendAddsNoSecondHeaderAndRepairsATornEnd) {
  TempDir dir;
  Bytes header = MakeHeader();
  RecordStore store;
  store.SetHeader(header.data(), static_cast<uint16_t>(header.size()));
  AddBytes(store, Meas(1, 1));
  AddBytes(store, Meas(2, 2));
  std::string records = Concat({Meas(1, 1), Meas(2, 2)});

  std::string file = dir / "a.k8";
  ASSERT_TRUE(store.SaveToFile(file, true));  // missing: header first
  EXPECT_EQ(ReadFile(file), Concat({header}) + records);
  ASSERT_TRUE(store.SaveToFile(file, true));  // existing: records only
  EXPECT_EQ(ReadFile(file), Concat({header}) + records + records);

  // A power cut in an earlier append left half a record: it is cut away so
  // that the new records stay reachable.
  WriteFile(file, Concat({header}) + records + records.substr(0, 7));
  ASSERT_TRUE(store.SaveToFile(file, true));
  EXPECT_EQ(ReadFile(file), Concat({header}) + records + records);
  RecordStore back;
  ASSERT_TRUE(back.LoadFromFile(file));
  EXPECT_EQ(back.Count(), 4);

  // An empty file, or one whose header is torn, gets the header first.
  WriteFile(file, "");
  ASSERT_TRUE(store.SaveToFile(file, true));
  EXPECT_EQ(ReadFile(file), Concat({header}) + records);
  WriteFile(file, Concat({header}).substr(0, 5));
  ASSERT_TRUE(store.SaveToFile(file, true));
  EXPECT_EQ(ReadFile(file), Concat({header}) + records);

  // Somebody else's file is not touched.
  WriteFile(file, "not a data file");
  EXPECT_FALSE(store.SaveToFile(file, true));
  EXPECT_EQ(ReadFile(file), "not a data file");

  // Something in the way of the file: failure, not success.
  std::filesystem::create_directory(dir / "b.k8");
  EXPECT_FALSE(store.SaveToFile(dir / "b.k8", false));
  EXPECT_FALSE(store.SaveToFile(dir / "b.k8", true));
  EXPECT_FALSE(store.SaveToFile(dir / "missing/c.k8", false));
}

TEST_F(RecordStoreTest, RemoveDuplicatesKeepsTheFirstOfEqualTimeAndBytes) {
  RecordStore store;
  Bytes a = Meas(1, 1, 5, 5), sameTimeOther = Meas(1, 1, 5, 6), b = Meas(2, 2);
  Bytes u = MakeRecord(0x55, Stamp{}, {1}), u2 = MakeRecord(0x55, Stamp{}, {2});
  for (const Bytes& r : {a, b, sameTimeOther, a, u, u2, u, a}) AddBytes(store, r);
  EXPECT_EQ(store.UnknownCount(), 3);
  EXPECT_EQ(store.RemoveDuplicates(), 3);
  EXPECT_EQ(RawList(store), (std::vector<std::string>{Concat({a}), Concat({b}), Concat({sameTimeOther}),
                                                     Concat({u}), Concat({u2})}));
  EXPECT_EQ(store.UnknownCount(), 2);
  EXPECT_EQ(store.RemoveDuplicates(), 0);
  // The first survivor is the first in store order: it keeps its place.
  EXPECT_EQ(RawOf(*store.At(0)), Concat({a}));

  RecordStore one;
  AddBytes(one, a);
  EXPECT_EQ(one.RemoveDuplicates(), 0);
  EXPECT_EQ(one.Count(), 1);
}

// The pairwise algorithms the fast ones must match.
std::vector<std::string> QuadraticUnique(const std::vector<std::pair<int64_t, std::string>>& in) {
  auto v = in;
  for (size_t i = 0; i + 1 < v.size(); ++i) {
    for (size_t j = i + 1; j < v.size();) {
      if (v[j] == v[i]) v.erase(v.begin() + static_cast<long>(j));
      else ++j;
    }
  }
  std::vector<std::string> out;
  for (auto& p : v) out.push_back(p.second);
  return out;
}

std::pair<std::vector<std::string>, bool> BubbleOrder(std::vector<std::pair<int64_t, std::string>> v, bool ascending) {
  bool swapped = false;
  for (size_t pass = 0; pass + 1 < v.size(); ++pass) {
    for (size_t j = 0; j + 1 < v.size(); ++j) {
      bool swap = ascending ? v[j].first > v[j + 1].first : v[j].first < v[j + 1].first;
      if (swap) {
        std::swap(v[j], v[j + 1]);
        swapped = true;
      }
    }
  }
  std::vector<std::string> out;
  for (auto& p : v) out.push_back(p.second);
  return {out, swapped};
}

std::vector<std::pair<int64_t, std::string>> Keyed(const RecordStore& store) {
  std::vector<std::pair<int64_t, std::string>> out;
  for (int32_t i = 0; i < store.Count(); ++i) out.emplace_back(store.At(i)->time(), RawOf(*store.At(i)));
  return out;
}

TEST_F(RecordStoreTest, FastDuplicateRemovalAndOrderMatchThePairwiseAlgorithms) {
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    RecordStore store;
    int n = 1 + static_cast<int>(random() % 60);
    for (int i = 0; i < n; ++i) {
      // Few distinct days and bodies, so that equal times and equal bytes are common.
      int day = static_cast<int>(random() % 4);
      uint8_t body = static_cast<uint8_t>(random() % 3);
      Stamp stamp = day == 0 ? Stamp{} : Stamp{2014, 7, day, 0, 0, 0};
      uint8_t type = random() % 2 ? 0x1A : 0x55;
      AddBytes(store, MakeRecord(type, stamp, {body, 0}));
    }
    for (bool ascending : {true, false}) {
      RecordStore copy;
      copy.AddAllFrom(store);
      auto [expected, changed] = BubbleOrder(Keyed(copy), ascending);
      EXPECT_EQ(copy.Order(ascending), changed);
      EXPECT_EQ(RawList(copy), expected);
    }
    auto keyed = Keyed(store);
    auto unique = QuadraticUnique(keyed);
    EXPECT_EQ(store.RemoveDuplicates(), static_cast<int32_t>(keyed.size() - unique.size()));
    EXPECT_EQ(RawList(store), unique);
    int unknown = 0;
    for (int32_t i = 0; i < store.Count(); ++i) unknown += store.At(i)->scenario() == nullptr;
    EXPECT_EQ(store.UnknownCount(), unknown);
  }
}

TEST_F(RecordStoreTest, OrderIsStableAndPutsRecordsWithoutTimeFirstAscendingLastDescending) {
  RecordStore store;
  Bytes late = Meas(5, 0), early1 = Meas(1, 0, 1), early2 = Meas(1, 0, 2), none = MakeRecord(0x1A, Stamp{}, {3, 3});
  for (const Bytes& r : {late, early1, none, early2}) AddBytes(store, r);
  EXPECT_TRUE(store.Order(true));
  EXPECT_EQ(RawList(store), (std::vector<std::string>{Concat({none}), Concat({early1}), Concat({early2}),
                                                     Concat({late})}));
  EXPECT_FALSE(store.Order(true));
  EXPECT_TRUE(store.Order(false));
  EXPECT_EQ(RawList(store), (std::vector<std::string>{Concat({late}), Concat({early1}), Concat({early2}),
                                                     Concat({none})}));
  EXPECT_FALSE(store.Order(false));

  RecordStore one;
  AddBytes(one, late);
  EXPECT_FALSE(one.Order(true));
}

TEST_F(RecordStoreTest, EditingOperationsKeepTheUnknownCount) {
  Bytes header = MakeHeader();
  Bytes known = Meas(1, 1), unknown = MakeRecord(0x55, Stamp{}, {1, 2, 3});
  RecordStore store;
  store.SetHeader(header.data(), static_cast<uint16_t>(header.size()));
  store.headNumber = "1234";
  store.path = "/data/site.k8";
  EXPECT_FALSE(AddBytes(store, {0x1A, 0x03, 0x00}));
  Bytes rejected = known;
  rejected[rejected.size() - 1] ^= 1;
  EXPECT_FALSE(AddBytes(store, rejected));
  EXPECT_EQ(store.Count(), 0);
  for (const Bytes& r : {known, unknown, known, unknown}) AddBytes(store, r);
  EXPECT_EQ(store.UnknownCount(), 2);
  store.RemoveAt(1);
  EXPECT_EQ(store.UnknownCount(), 1);
  store.RemoveAt(7);  // outside: nothing happens
  store.RemoveAt(-1);
  EXPECT_EQ(store.Count(), 3);
  EXPECT_EQ(store.At(3), nullptr);
  EXPECT_EQ(store.At(-1), nullptr);

  store.Reverse();
  EXPECT_EQ(RawList(store), (std::vector<std::string>{Concat({unknown}), Concat({known}), Concat({known})}));
  EXPECT_EQ(store.UnknownCount(), 1);

  store.AddAllFrom(store);
  EXPECT_EQ(store.Count(), 6);
  EXPECT_EQ(store.UnknownCount(), 2);

  RecordStore copy;
  copy.AssignFrom(store);
  EXPECT_EQ(RawList(copy), RawList(store));
  EXPECT_EQ(copy.UnknownCount(), 2);
  EXPECT_EQ(copy.path, "/data/site.k8");
  EXPECT_EQ(copy.scenarioKey, "SP81000100");
  ASSERT_NE(copy.Header(), nullptr);
  EXPECT_EQ(RawOf(*copy.Header()), Concat({header}));
  copy.AssignFrom(copy);
  EXPECT_EQ(copy.Count(), 6);

  store.ClearRecords();
  EXPECT_EQ(store.Count(), 0);
  EXPECT_EQ(store.UnknownCount(), 0);
  EXPECT_NE(store.Header(), nullptr);
  EXPECT_EQ(store.TotalSize(), header.size());

  copy.Clear();
  EXPECT_EQ(copy.Count(), 0);
  EXPECT_EQ(copy.Header(), nullptr);
  EXPECT_TRUE(copy.path.empty());
  EXPECT_EQ(copy.scenarioKey, "SP81000100");
  EXPECT_EQ(copy.versionCode[0], 0x81);
  EXPECT_EQ(copy.TotalSize(), 0u);

  // A header too short for the version fields is taken without reading past it.
  // (10 bytes: 7..9 are the marker and the trailing length.)
  Bytes shortHeader = MakeRecord(0x7C, Stamp{}, {});
  RecordStore small;
  EXPECT_TRUE(small.SetHeader(shortHeader.data(), static_cast<uint16_t>(shortHeader.size())));
  EXPECT_EQ(small.scenarioKey, "SPFE0A0000");
  EXPECT_EQ(small.parameterFileName, "SPFEFF0000.par");
  EXPECT_EQ(small.versionNumber[0], 0);
}

}  // namespace
}  // namespace skyh::test
