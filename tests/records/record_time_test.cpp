// Record time stamps are the instrument's UTC fields whatever the local zone
// (the time functions' own zone checks are in core).
#include <ctime>

#include "records/packed_time.h"
#include "records/record.h"
#include "records/scenario_list.h"
#include "support/record_bytes.h"
#include "support/test_common.h"

namespace skyh {
namespace {

TEST(RecordTime, SameFieldsInEveryZoneAcrossDaylightSavingChangesPackedRoundTripAndLimits) {
  ClistScn list;
  // The date-time element reads the record's own time stamp field.
  list.LoadText("S:1,0x11,Clock,clock,0\nE:VAL_DATE_TIME,3\n");
  // 02:30 on 28 March 2021 does not exist in Central Europe, 02:30 on 31
  // October exists twice.
  for (const char* zone : {"UTC", "Europe/Paris"}) {
    test::ScopedEnv tz("TZ", zone);
    tzset();
    for (int month : {3, 10}) {
      const int day = month == 3 ? 28 : 31;
      CRecord r;
      const auto bytes = test::MakeRecordBytes(0x11, test::PackDateTime(2021, month, day, 2, 30, 0), {});
      ASSERT_TRUE(r.Decode(list, "", bytes.data(), bytes.size()));
      EXPECT_EQ(r.time(), month == 3 ? 1616898600 : 1635647400) << zone;
      EXPECT_EQ(r.GetText(), month == 3 ? "28/03/2021,02:30:00" : "31/10/2021,02:30:00") << zone;
    }
  }
  tzset();

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
