#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "core/text_util.h"
#include "core/time_util.h"
#include "support/temp_dir.h"

namespace skyh {
namespace {

TEST(TextUtil, LinesFieldsNumbersAndHexDigits) {
  test::TempDir dir;
  test::WriteFile(dir / "crlf.txt", "S,1\r\n\r\n\nE,2\r\nlast");
  test::WriteFile(dir / "lf.txt", "S,1\n\nE,2\nlast\n");
  std::vector<std::string> crlf, lf;
  ASSERT_TRUE(ReadTextLines(dir / "crlf.txt", crlf));
  ASSERT_TRUE(ReadTextLines(dir / "lf.txt", lf));
  EXPECT_EQ(crlf, (std::vector<std::string>{"S,1", "E,2", "last"}));
  EXPECT_EQ(crlf, lf);
  std::vector<std::string> none;
  EXPECT_FALSE(ReadTextLines(dir / "missing.txt", none));

  // Empty fields vanish, blanks stay.
  EXPECT_EQ(SplitFields(",a,, b ,", ","), (std::vector<std::string>{"a", " b "}));
  EXPECT_EQ(SplitFields("P\tx y", "\t "), (std::vector<std::string>{"P", "x", "y"}));
  EXPECT_TRUE(SplitFields(",,,", ",").empty());

  const std::pair<const char*, int> numbers[] = {{"42", 42}, {"-7", -7}, {"12.5", 12}, {"1A", -1},
                                                 {" 3", -1}, {"3 ", -1}, {"-", 0},     {"99999999999", 2147483647}};
  for (auto [text, value] : numbers) EXPECT_EQ(ParseNumberField(text), value) << text;
  const std::pair<char, int> digits[] = {{'0', 0}, {'a', 10}, {'F', 15}, {'g', 0}, {' ', 0}};
  for (auto [c, value] : digits) EXPECT_EQ(HexDigitValue(c), value) << c;
  const uint8_t bytes[] = {0x00, 0xAB, 0x7F};
  EXPECT_EQ(BytesToHex(bytes, 3), "00AB7F");
}

TEST(TimeUtil, UtcArithmeticCarriesAndRoundTripsWhateverTheZone) {
  EXPECT_EQ(FieldsToTime(1970, 1, 1, 0, 0, 0), 0);
  EXPECT_EQ(FieldsToTime(2025, 3, 7, 14, 5, 9), 1741356309);
  // Out-of-range fields carry like the C library's normalisation.
  EXPECT_EQ(FieldsToTime(2024, 13, 1, 0, 0, 0), FieldsToTime(2025, 1, 1, 0, 0, 0));
  EXPECT_EQ(FieldsToTime(2024, 3, 0, 0, 0, 0), FieldsToTime(2024, 2, 29, 0, 0, 0));
  EXPECT_EQ(FieldsToTime(2023, 2, 29, 0, 0, 0), FieldsToTime(2023, 3, 1, 0, 0, 0));
  EXPECT_EQ(FieldsToTime(2024, 1, 1, 23, 59, 60), FieldsToTime(2024, 1, 2, 0, 0, 0));
  EXPECT_EQ(FieldsToTime(2024, 0, 1, 0, 0, 0), FieldsToTime(2023, 12, 1, 0, 0, 0));
  EXPECT_EQ(FieldsToTime(1969, 12, 31, 23, 59, 59), kInvalidTime);
  EXPECT_EQ(FieldsToTime(3001, 1, 1, 0, 0, 0), kInvalidTime);

  DateTimeFields f;
  EXPECT_FALSE(TimeToFields(kInvalidTime, f));

  // The hour skipped and the hour doubled in Paris come back unchanged.
  const char* zones[] = {"UTC", "Europe/Paris"};
  for (const char* zone : zones) {
    test::ScopedEnv tz("TZ", zone);
    tzset();
    for (auto [y, mo, d, h, mi, s] : {std::tuple{2024, 3, 31, 2, 30, 0}, std::tuple{2024, 10, 27, 2, 30, 0},
                                      std::tuple{2000, 2, 29, 23, 59, 59}}) {
      int64_t t = FieldsToTime(y, mo, d, h, mi, s);
      ASSERT_TRUE(TimeToFields(t, f));
      EXPECT_EQ(std::tie(f.year, f.month, f.day, f.hour, f.minute, f.second), std::tie(y, mo, d, h, mi, s))
          << zone;
    }
  }
  tzset();
}

TEST(TimeUtil, NowFollowsTheReplaceableClock) {
  SetNowFunctionForTesting([]() -> int64_t { return 1741356309123; });
  EXPECT_EQ(NowUtc(), 1741356309);
  DateTimeFields f = NowUtcFields();
  EXPECT_EQ(f.hour, 14);
  EXPECT_EQ(f.millisecond, 123);
  {
    test::ScopedEnv tz("TZ", "Europe/Paris");
    tzset();
    EXPECT_EQ(NowLocalFields().hour, 15);
  }
  tzset();
  SetNowFunctionForTesting(nullptr);
  EXPECT_GT(NowUtc(), 1700000000);
}

}  // namespace
}  // namespace skyh
