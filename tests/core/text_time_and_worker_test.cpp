#include <ctime>
#include <future>

#include "core/progress.h"
#include "core/text_util.h"
#include "core/time_util.h"
#include "core/worker.h"
#include "support/test_common.h"

namespace skyh {
namespace {

TEST(TextUtil, FieldsNumbersAndHexDigits) {
  // Empty fields vanish, blanks stay.
  EXPECT_EQ(SplitFields(",a,, b ,", ","), (std::vector<std::string>{"a", " b "}));
  EXPECT_EQ(SplitFields("P\tx y", "\t "), (std::vector<std::string>{"P", "x", "y"}));
  EXPECT_TRUE(SplitFields(",,,", ",").empty());

  const std::pair<const char*, int> numbers[] = {{"42", 42}, {"-7", -7}, {"12.5", 12}, {"1A", -1},
                                                 {" 3", -1}, {"3 ", -1}, {"-", 0},     {"99999999999", 2147483647}};
  for (auto [text, value] : numbers) EXPECT_EQ(ParseNumberField(text), value) << text;
  for (auto [c, value] : std::vector<std::pair<char, int>>{{'0', 0}, {'a', 10}, {'F', 15}, {'g', 0}})
    EXPECT_EQ(HexDigitValue(c), value) << c;
}

TEST(TimeUtil, UtcArithmeticCarriesAndRoundTripsWhateverTheZone) {
  EXPECT_EQ(FieldsToTime(2025, 3, 7, 14, 5, 9), 1741356309);
  // Out-of-range fields carry like the C library's normalisation.
  EXPECT_EQ(FieldsToTime(2024, 13, 1, 0, 0, 0), FieldsToTime(2025, 1, 1, 0, 0, 0));
  EXPECT_EQ(FieldsToTime(2024, 3, 0, 0, 0, 0), FieldsToTime(2024, 2, 29, 0, 0, 0));
  EXPECT_EQ(FieldsToTime(2024, 1, 1, 23, 59, 60), FieldsToTime(2024, 1, 2, 0, 0, 0));
  EXPECT_EQ(FieldsToTime(1969, 12, 31, 23, 59, 59), kInvalidTime);
  EXPECT_EQ(FieldsToTime(3001, 1, 1, 0, 0, 0), kInvalidTime);

  DateTimeFields f;
  EXPECT_FALSE(TimeToFields(kInvalidTime, f));

  // The hour skipped and the hour doubled in Paris come back unchanged.
  for (const char* zone : {"UTC", "Europe/Paris"}) {
    test::ScopedEnv tz("TZ", zone);
    tzset();
    for (auto [y, mo, d, h, mi, s] :
         {std::tuple{2024, 3, 31, 2, 30, 0}, std::tuple{2024, 10, 27, 2, 30, 0}, std::tuple{2000, 2, 29, 23, 59, 59}}) {
      int64_t t = FieldsToTime(y, mo, d, h, mi, s);
      ASSERT_TRUE(TimeToFields(t, f));
      EXPECT_EQ(std::tie(f.year, f.month, f.day, f.hour, f.minute, f.second), std::tie(y, mo, d, h, mi, s)) << zone;
    }
  }
  tzset();
}

// A question answered from another thread, as the window's dialog does.
struct HandedPrompt : IPrompt {
  std::promise<void> asked;
  std::promise<bool> answer;
  bool AskYesNo(const std::string&, const std::string&) override {
    asked.set_value();
    return answer.get_future().get();
  }
};

TEST(WorkerTest, AJobRunsUntilAskedToStopAndAQuestionHoldsIt) {
  Worker worker;
  std::atomic<int> rounds{0};
  ASSERT_TRUE(worker.Start([&] {
    while (!worker.StopRequested()) ++rounds;
  }));
  EXPECT_FALSE(worker.Start([] {})) << "one job at a time";
  worker.RequestStop();
  worker.Join();
  EXPECT_FALSE(worker.Running());

  // The next job starts without the old stop request and waits for its answer.
  HandedPrompt prompt;
  std::atomic<int> answered{-1};
  ASSERT_TRUE(worker.Start([&] { answered = prompt.AskYesNo("Info", "Go on?") ? 1 : 0; }));
  prompt.asked.get_future().wait();
  EXPECT_FALSE(worker.StopRequested());
  EXPECT_TRUE(worker.Running());
  EXPECT_EQ(answered.load(), -1);
  prompt.answer.set_value(true);
  worker.Join();
  EXPECT_EQ(answered.load(), 1);
}

}  // namespace
}  // namespace skyh
