#include <ctime>

#include "records/packed_time.h"
#include "records/record.h"
#include "records/scenario_list.h"
#include "support/record_bytes.h"
#include "support/test_common.h"

namespace skyh {
namespace {

struct Stamp {
  int year, month, day, hour, minute, second;
  const char* text;
};

// Around both daylight-saving changes of 2021 in Central Europe: 02:30 on
// 28 March does not exist there, 02:30 on 31 October exists twice.
const Stamp kStamps[] = {
    {2021, 3, 28, 1, 30, 0, "28/03/2021,01:30:00"},  {2021, 3, 28, 2, 30, 0, "28/03/2021,02:30:00"},
    {2021, 3, 28, 3, 30, 0, "28/03/2021,03:30:00"},  {2021, 10, 31, 1, 30, 0, "31/10/2021,01:30:00"},
    {2021, 10, 31, 2, 30, 0, "31/10/2021,02:30:00"}, {2021, 10, 31, 3, 30, 0, "31/10/2021,03:30:00"},
};

struct Decoded {
  std::vector<int64_t> times;
  std::vector<std::string> texts;
};

Decoded DecodeStampsIn(const char* zone) {
  test::ScopedEnv tz("TZ", zone);
  tzset();
  ClistScn list;
  // The date-time element reads the record's own time stamp field.
  list.LoadText("S:1,0x11,Clock,clock,0\nE:VAL_DATE_TIME,3\nE:VAL_DATE_TIME,7\n");
  Decoded out;
  for (const Stamp& s : kStamps) {
    const uint32_t p = test::PackDateTime(s.year, s.month, s.day, s.hour, s.minute, s.second);
    CRecord r;
    EXPECT_TRUE(r.Decode(list, "", test::MakeRecordBytes(0x11, p, {uint8_t(p), uint8_t(p >> 8), uint8_t(p >> 16),
                                                                    uint8_t(p >> 24)})
                                       .data(),
                         14));
    out.times.push_back(r.time());
    out.texts.push_back(r.GetText());
  }
  return out;
}

TEST(RecordTime, SameFieldsInEveryZoneAcrossDaylightSavingChanges) {
  const Decoded utc = DecodeStampsIn("UTC");
  const Decoded paris = DecodeStampsIn("Europe/Paris");
  tzset();
  ASSERT_EQ(utc.times.size(), std::size(kStamps));
  EXPECT_EQ(utc.times, paris.times);
  EXPECT_EQ(utc.texts, paris.texts);
  for (size_t i = 0; i < std::size(kStamps); ++i) {
    EXPECT_EQ(paris.texts[i], std::string(kStamps[i].text) + "," + kStamps[i].text) << i;
    // An hour apart on the instrument's clock is an hour apart in seconds.
    if (i % 3 != 0) {
      EXPECT_EQ(paris.times[i] - paris.times[i - 1], 3600) << i;
    }
  }
  EXPECT_EQ(utc.times[1], 1616898600);  // 2021-03-28 02:30:00 UTC
}

TEST(RecordTime, PackedRoundTripAndLimits) {
  const int64_t t = 1616898600;
  EXPECT_EQ(PackedToTime(TimeToPacked(t)), t);
  EXPECT_EQ(TimeToPacked(t), test::PackDateTime(2021, 3, 28, 2, 30, 0));
  EXPECT_EQ(TimeToPacked(-1), 0u);
  EXPECT_EQ(TimeToPacked(946684799), 0u);  // 1999-12-31 23:59:59
  EXPECT_EQ(FormatDateTime(-1), "00/00/0000,-1:-1:-1");
  EXPECT_EQ(FormatDateTime(0), "01/01/1970,00:00:00");
  // The latest packed stamp: 2063-15-31 31:63:63 carries into 2064.
  EXPECT_EQ(FormatDateTime(PackedToTime(0xFFFFFFFFu)), "01/04/2064,08:04:03");
}

}  // namespace
}  // namespace skyh
