#include <atomic>
#include <set>
#include <thread>
#include <tuple>

#include "records/record.h"
#include "records/scenario_list.h"
#include "support/record_bytes.h"
#include "support/test_common.h"

namespace skyh {
namespace {

using test::MakeRecordBytes;
using test::PackDateTime;

bool Decode(CRecord& r, const ClistScn& list, const std::vector<uint8_t>& b) {
  return r.Decode(list, "", b.data(), b.size());
}

std::string Shown(const CRecord& r) { return r.name() + "/" + r.description() + "/" + r.GetText(); }

TEST(RecordFraming, AcceptedAndRejectedBytes) {
  ClistScn empty;
  const std::vector<uint8_t> twelve = {0x1A, 0x0C, 0x00, 0, 0, 0, 0, 0x11, 0x22, 0xFE, 0x0C, 0x00};
  CRecord r;
  ASSERT_TRUE(Decode(r, empty, twelve));
  EXPECT_TRUE(r.time() == -1 && r.type() == 0x1A);
  EXPECT_EQ(std::vector<uint8_t>(r.raw(), r.raw() + r.length()), twelve);

  // The two top bits of both length fields are ignored; the bytes stay as given.
  auto top = twelve;
  top[2] = 0xC0;
  top[11] = 0xC0;
  ASSERT_TRUE(Decode(r, empty, top));
  EXPECT_EQ(r.hex(), "1A0CC0000000001122FE0CC0");

  // Trailing length differs, no end marker, zero length.
  for (auto [at, at2, value] : {std::tuple{10, 10, 0x0D}, {9, 9, 0xFD}, {1, 10, 0}}) {
    auto bad = twelve;
    bad[at] = bad[at2] = static_cast<uint8_t>(value);
    EXPECT_FALSE(Decode(r, empty, bad)) << at;
    EXPECT_EQ(r.length(), 0);
  }
  // A length field must cover exactly the bytes given, no fewer and no more.
  auto longer = twelve;
  longer.insert(longer.end(), {0xFE, 0x0C, 0x00});
  EXPECT_FALSE(Decode(r, empty, longer));
  EXPECT_FALSE(r.Decode(empty, "", twelve.data(), 11));
  // Nine bytes can be self-consistent but cannot hold the layout.
  EXPECT_FALSE(Decode(r, empty, {0x1A, 0x09, 0x00, 0, 0, 0, 0xFE, 0x09, 0x00}));
  EXPECT_FALSE(r.Decode(empty, "", nullptr, 12));
  // The largest length the field can hold.
  EXPECT_TRUE(Decode(r, empty, MakeRecordBytes(0x1A, 0, std::vector<uint8_t>(0x3FFF - 10, 0x55))));
  EXPECT_EQ(r.length(), 0x3FFF);
}

TEST(RecordDecoding, TimeStampNamesRepeatGroupsJoiningAndElementsOutsideTheRecord) {
  ClistScn list;
  ASSERT_TRUE(list.LoadText("S:7,0x21,Met,Weather,0\nE:VAL_BYTE,7\nS:8,0x22,Empty,No elements,0\n"));
  CRecord r;
  ASSERT_TRUE(Decode(r, list, MakeRecordBytes(0x21, PackDateTime(2021, 3, 1, 12, 34, 56), {0x41})));
  EXPECT_EQ(r.time(), 1614602096);  // 2021-03-01 12:34:56 UTC
  EXPECT_FALSE(r.IsUnknown());
  EXPECT_EQ(Shown(r), "Met/Weather/65");

  ASSERT_TRUE(Decode(r, list, MakeRecordBytes(0x23, 0, {0x41})));
  EXPECT_TRUE(r.IsUnknown());
  EXPECT_EQ(Shown(r), "---/Unknown/Unknown: \"230B000000000041FE0B00\"");

  // A scenario without elements names the record, but the text is the hex form.
  ASSERT_TRUE(Decode(r, list, MakeRecordBytes(0x22, 0, {})));
  EXPECT_FALSE(r.IsUnknown());
  EXPECT_EQ(Shown(r), "Empty/No elements/Unknown: \"220A0000000000FE0A00\"");

  // Out-of-range fields carry into the next unit: 2021-02-30 is 2 March.
  ASSERT_TRUE(Decode(r, list, MakeRecordBytes(0x21, PackDateTime(2021, 2, 30, 24, 60, 0), {0})));
  EXPECT_EQ(r.time(), 1614733200);  // 2021-03-03 01:00:00

  ASSERT_TRUE(
      list.LoadText("S:1,0x40,Rpt,repeat,0\nE:VAL_RPT,7\nE:VAL_TEMP,8,D=1\nE:VAL_HUM,10\n"
                    "S:2,0x41,Tail,repeat last,0\nE:VAL_BYTE,7\nE:VAL_RPT,8\n"
                    "S:3,0x42,Two,two groups,0\nE:VAL_RPT,7\nE:VAL_BYTE,8\nE:VAL_RPT,9\nE:VAL_BYTE,10\n"
                    "E:VAL_BYTE,11\nS:4,0x43,Far,far count,0\nE:VAL_RPT,40\nE:VAL_BYTE,8\nE:VAL_BYTE,9\n"));
  // 3 temperatures of 45.0, 46.0, 47.0 then humidity 0x78.
  ASSERT_TRUE(Decode(r, list, MakeRecordBytes(0x40, 0, {3, 0x52, 0x03, 0x5C, 0x03, 0x66, 0x03, 0x78})));
  EXPECT_EQ(r.GetText(), "3,45.0,46.0,47.0,600");
  EXPECT_EQ(r.ElementAt(5), nullptr);

  // A count of 0 ends the elements at the repeat count itself.
  ASSERT_TRUE(Decode(r, list, MakeRecordBytes(0x40, 0, {0, 0x52, 0x03, 0x78})));
  EXPECT_TRUE(r.ElementCount() == 1 && r.GetText() == "0");

  ASSERT_TRUE(Decode(r, list, MakeRecordBytes(0x41, 0, {5, 9})));
  EXPECT_EQ(r.GetText(), "5,9");

  // Each group shifts everything behind it: 2 bytes, then count 3 at 10;
  // elements are named by definition and copy.
  ASSERT_TRUE(Decode(r, list, MakeRecordBytes(0x42, 0, {2, 0xA1, 0xA2, 3, 0xB1, 0xB2, 0xB3, 0xC1})));
  EXPECT_EQ(r.GetText(), "2,161,162,3,177,178,179,193");
  EXPECT_EQ(r.CopyCounts(), (std::vector<uint32_t>{1, 2, 1, 3, 1}));
  ScnElementDef d;
  // The third copy of definition 3 lies behind the first group's extra byte.
  ASSERT_TRUE(r.ElementDef(3, 2, d));
  EXPECT_EQ(d.offset, 13);
  EXPECT_FALSE(r.ElementDef(1, 2, d) || r.ElementDef(5, 0, d));
  ASSERT_TRUE(Decode(r, list, MakeRecordBytes(0x42, 0, {0, 0xA1})));
  EXPECT_EQ(r.CopyCounts(), (std::vector<uint32_t>{1, 0, 0, 0, 0}));
  EXPECT_FALSE(r.ElementDef(2, 0, d));
  CRecord unknown;
  ASSERT_TRUE(Decode(unknown, list, MakeRecordBytes(0x77, 0, {1})));
  EXPECT_TRUE(unknown.CopyCounts().empty() && !unknown.ElementDef(0, 0, d));

  // A repeat count behind the record's end shows "error" and leaves the
  // layout as written.
  ASSERT_TRUE(Decode(r, list, MakeRecordBytes(0x43, 0, {5, 6, 7})));
  EXPECT_EQ(r.GetText(), "error,6,7");

  ASSERT_TRUE(
      list.LoadText("S:1,0x50,Join,joining,0\nE:VAL_TEMP,7\nE:VAL_BYTE,9,SEP=2C\nE:VAL_TEMP,10\nE:VAL_BYTE,12\n"
                    "S:2,0x51,Out,outside,0\nE:VAL_BYTE,7\nE:VAL_DWORD,11\nE:VAL_DATE_TIME,60000\nE:VAL_HUM,12\n"));
  // Empty first text, then a suffixed text, an empty one and a last one.
  ASSERT_TRUE(Decode(r, list, MakeRecordBytes(0x50, 0, {0xFE, 0xFF, 0x41, 0xFE, 0xFF, 0x42})));
  EXPECT_EQ(r.GetText() + "|" + r.values(), ",65,,66|,65,,66");

  // DWORD at 11 on a 13-byte record reaches past its end; the humidity byte
  // at 12 is the record's last byte and still decodes.
  ASSERT_TRUE(Decode(r, list, MakeRecordBytes(0x51, 0, {0x07, 0x08, 0x09})));
  EXPECT_EQ(r.GetText(), "7,error,error,0");
}

TEST(RecordIdentity, CopiesAndDuplicates) {
  ClistScn list;
  const uint32_t t = PackDateTime(2022, 6, 1, 8, 0, 0);
  CRecord a, b, c, d;
  ASSERT_TRUE(Decode(a, list, MakeRecordBytes(0x60, t, {1, 2, 3})) &&
              Decode(b, list, MakeRecordBytes(0x60, t, {1, 2, 3})));
  ASSERT_TRUE(Decode(c, list, MakeRecordBytes(0x60, t, {1, 2, 4})) &&
              Decode(d, list, MakeRecordBytes(0x60, t + 1, {1, 2, 3})));
  EXPECT_TRUE(a.IsSameRecord(b));
  EXPECT_FALSE(a.IsSameRecord(c));  // same time, other bytes
  EXPECT_FALSE(a.IsSameRecord(d));  // same body, other time
  EXPECT_FALSE(CRecord().IsSameRecord(a));

  // Copies own their bytes.
  CRecord copy(a);
  EXPECT_TRUE(copy.raw() != a.raw() && copy.IsSameRecord(a));
  copy = c;
  EXPECT_TRUE(copy.IsSameRecord(c));
}

TEST(RecordScenario, SurvivesAReloadOfTheList) {
  SharedScenarioList& list = GetScenarioList();
  ASSERT_TRUE(list.LoadText("S:12,0x70,Sun,Direct sun,0\nE:VAL_WORD,7\n"));
  CRecord r;
  const auto bytes = MakeRecordBytes(0x70, 0, {0x34, 0x12});
  ASSERT_TRUE(r.Decode("", bytes.data(), bytes.size()));
  const CScnType* before = r.scenario();

  ASSERT_TRUE(list.LoadText("S:13,0x71,Sky,Sky scan,0\nE:VAL_BYTE,7\n"));
  EXPECT_EQ(r.scenario(), before);
  list.Clear();
  EXPECT_EQ(Shown(r), "Sun/Direct sun/4660");

  // A record decoded after the reload uses the new list.
  CRecord again;
  ASSERT_TRUE(again.Decode("", bytes.data(), bytes.size()));
  EXPECT_TRUE(again.IsUnknown());
}

// A reload while another thread decodes: every decode sees one whole list,
// never a list half replaced or freed under it (the thread sanitizer build
// reports the race this guards against).
TEST(RecordScenario, ReloadWhileAnotherThreadDecodes) {
  SharedScenarioList& list = GetScenarioList();
  const char* kSun = "S:12,0x70,Sun,Direct sun,0\nE:VAL_WORD,7\n";
  const char* kMoon = "S:12,0x70,Moon,Moon,0\nE:VAL_BYTE,7\n";
  ASSERT_TRUE(list.LoadText(kSun));
  const auto bytes = MakeRecordBytes(0x70, 0, {0x34, 0x12});

  std::atomic<bool> decoding{false}, reloaded{false};
  std::set<std::string> seen;
  std::thread decoder([&] {
    for (int i = 0; i < 200 || !reloaded; ++i) {
      CRecord r;
      seen.insert(r.Decode("", bytes.data(), bytes.size()) ? r.name() + "/" + r.GetText() : "rejected");
      decoding = true;
    }
  });
  // The reloads start once the decodes run, so the two overlap.
  while (!decoding) std::this_thread::yield();
  for (int i = 0; i < 200; ++i) list.LoadText(i % 2 ? kSun : kMoon);
  reloaded = true;
  decoder.join();

  seen.erase("Sun/4660");
  seen.erase("Moon/52");
  EXPECT_TRUE(seen.empty()) << *seen.begin();
  list.Clear();
}

}  // namespace
}  // namespace skyh
