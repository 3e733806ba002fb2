#include "box_memory.h"

#include "support/test_common.h"
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
  Bytes file = settings + late + sameTimeA + early + untimed + sameTimeB;
  // A record with a wrong trailing length ends the file.
  Bytes broken = test::Record(0x16, test::Packed(2025, 6, 3, 0, 0, 0), {6});
  broken.back() ^= 0x01;
  file = file + broken + late;

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

  // Files that are not K8 leave the memory as it was.
  for (const Bytes& bad : {Bytes{}, late, Bytes{0x7C, 0x20, 0x00, 0x00}}) {
    skyh::test::WriteFile(dir / "bad.k8", std::string(bad.begin(), bad.end()));
    error.clear();
    EXPECT_FALSE(m.LoadK8(dir / "bad.k8", &error));
    EXPECT_FALSE(error.empty());
  }
  EXPECT_FALSE(m.LoadK8(dir / "missing.k8", &error));
  EXPECT_EQ(m.records().size(), 5u);
}

}  // namespace
}  // namespace skyh::sim
