#include "box_memory.h"

#include <gtest/gtest.h>

#include <set>

#include "core/time_util.h"
#include "demo_instrument.h"
#include "support/temp_dir.h"
#include "wire_helpers.h"

namespace skyh::sim {
namespace {

using test::Bytes;

TEST(BoxMemory, LoadsK8InRecordingOrderAndSavesItBack) {
  const Bytes settings = test::Record(0x7C, 0, Bytes(20, 0x33));
  const Bytes late = test::Record(0x11, test::Packed(2025, 6, 2, 0, 0, 0), {1});
  const Bytes early = test::Record(0x12, test::Packed(2025, 6, 1, 0, 0, 0), {2});
  const Bytes sameTimeA = test::Record(0x13, test::Packed(2025, 6, 1, 12, 0, 0), {3});
  const Bytes sameTimeB = test::Record(0x14, test::Packed(2025, 6, 1, 12, 0, 0), {4});
  const Bytes untimed = test::Record(0x15, 0, {5});
  Bytes file = settings;
  for (const Bytes* r : {&late, &sameTimeA, &early, &untimed, &sameTimeB}) file.insert(file.end(), r->begin(), r->end());
  // A record with a wrong trailing length ends the file.
  Bytes broken = test::Record(0x16, test::Packed(2025, 6, 3, 0, 0, 0), {6});
  broken.back() ^= 0x01;
  file.insert(file.end(), broken.begin(), broken.end());
  file.insert(file.end(), late.begin(), late.end());

  skyh::test::TempDir dir;
  skyh::test::WriteFile(dir / "box.k8", std::string(file.begin(), file.end()));
  BoxMemory m;
  std::string error;
  ASSERT_TRUE(m.LoadK8(dir / "box.k8", &error)) << error;
  EXPECT_EQ(m.settings(), settings);
  // Ascending time, stable for equal times, untimed first.
  EXPECT_EQ(m.records(), (std::vector<Bytes>{untimed, early, sameTimeA, sameTimeB, late}));

  ASSERT_TRUE(m.SaveK8(dir / "out.k8"));
  BoxMemory again;
  ASSERT_TRUE(again.LoadK8(dir / "out.k8"));
  EXPECT_EQ(again.records(), m.records());
  EXPECT_EQ(skyh::test::ReadFile(dir / "out.k8").size(), settings.size() + 5 * 11);

  // Files that are not K8 leave the memory as it was.
  for (const Bytes& bad : {Bytes{}, late, Bytes{0x7C, 0x20, 0x00, 0x00}}) {
    skyh::test::WriteFile(dir / "bad.k8", std::string(bad.begin(), bad.end()));
    EXPECT_FALSE(m.LoadK8(dir / "bad.k8", &error));
    EXPECT_FALSE(error.empty());
  }
  EXPECT_FALSE(m.LoadK8(dir / "missing.k8", &error));
  EXPECT_EQ(m.records().size(), 5u);
}

TEST(BoxMemory, PackedTimesAndRecordFraming) {
  EXPECT_EQ(PackTime(2021, 3, 1, 12, 34, 56), test::Packed(2021, 3, 1, 12, 34, 56));
  EXPECT_EQ(PackTime(FieldsToTime(2021, 3, 1, 12, 34, 56)), test::Packed(2021, 3, 1, 12, 34, 56));
  EXPECT_EQ(UnpackTime(test::Packed(2021, 3, 1, 12, 34, 56)), FieldsToTime(2021, 3, 1, 12, 34, 56));
  EXPECT_EQ(UnpackTime(0), -1);
  const Bytes r = MakeRecord(0x1A, 0, {0xAA, 0xBB});
  EXPECT_EQ(r, (Bytes{0x1A, 0x0C, 0x00, 0, 0, 0, 0, 0xAA, 0xBB, 0xFE, 0x0C, 0x00}));
  EXPECT_EQ(WellFormedRecordLength(r.data(), r.size()), 12u);
  EXPECT_EQ(WellFormedRecordLength(r.data(), 11), 0u);
  Bytes noMarker = r;
  noMarker[9] = 0xFD;
  EXPECT_EQ(WellFormedRecordLength(noMarker.data(), noMarker.size()), 0u);
}

TEST(DemoInstrument, GeneratorWritesWellFormedVariedRecordsInOrder) {
  DemoOptions o;
  o.startUtc = FieldsToTime(2026, 6, 1, 0, 0, 0);
  o.days = 2;
  o.intervalMinutes = 30;
  BoxMemory m;
  const DemoSummary s = GenerateDemoMemory(o, m);
  EXPECT_EQ(static_cast<size_t>(s.records), m.size());
  EXPECT_EQ(s.unknownRecords, 3);  // two of an unknown type, one report of an unknown kind

  const Bytes& settings = m.settings();
  ASSERT_EQ(settings.size(), 16 + kDemoSettingsAreaSize);
  EXPECT_EQ(settings[0], 0x7C);
  EXPECT_EQ(Bytes(settings.begin() + 7, settings.begin() + 11), (Bytes{0xD7, 0x00, 0x02, 0x01}));
  EXPECT_EQ(settings[13] | settings[14] << 8, 1234);

  std::set<uint8_t> types;
  int64_t previous = -1;
  int sentinels = 0;
  for (const Bytes& r : m.records()) {
    ASSERT_EQ(WellFormedRecordLength(r.data(), r.size()), r.size());
    const int64_t t = UnpackTime(RecordPackedTime(r));
    EXPECT_GE(t, previous);
    EXPECT_GE(t, o.startUtc);
    EXPECT_LT(t, o.startUtc + 2 * 86400);
    previous = t;
    types.insert(r[0]);
    if (r[0] == kDemoSky) {
      for (size_t i = 9; i + 1 < r.size() - 3; i += 2) sentinels += (r[i + 1] == 0xFF && r[i] >= 0xF7);
    }
  }
  EXPECT_EQ(types, (std::set<uint8_t>{kDemoSun, kDemoSky, kDemoMet, kDemoReport, kDemoUnknownType}));
  EXPECT_GT(sentinels, 0);

  // The same options give the same memory.
  BoxMemory again;
  GenerateDemoMemory(o, again);
  EXPECT_EQ(again.ToK8Bytes(), m.ToK8Bytes());
}

}  // namespace
}  // namespace skyh::sim
