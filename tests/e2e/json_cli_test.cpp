// skyharvester-cli --json and status, against the simulated box on a
// pseudo-terminal: what a script reads.
#include <cstdlib>
#include <ctime>
#include <map>
#include <nlohmann/json.hpp>

#include "data/record_store.h"
#include "demo_instrument.h"
#include "sim_pty_bridge.h"
#include "support/test_common.h"

namespace skyh {
namespace {

using Json = nlohmann::json;
const std::string kNoBox = "/dev/skyharvester-no-such-port";
const std::string kIni = "AutoSetTime=0\n[automatic]\nRecPeriod=0\nbasename=Auto\n";

// Written here, not with the tool's own formatting.
std::string Iso(int64_t t) {
  const time_t tt = static_cast<time_t>(t);
  struct tm f;
  gmtime_r(&tt, &f);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &f);
  return text;
}

struct JsonCli : ::testing::Test {
  // The run's stdout as its one JSON object, checked by a second parser too.
  Json Run(const std::string& args, int exitCode) {
    test::CliRun run = box.Run(args);
    EXPECT_EQ(run.exitCode, exitCode) << args << run.err;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << args << ": one line\n" << run.out;
    Json j = Json::parse(run.out, nullptr, false);
    EXPECT_TRUE(j.is_object()) << args << ": " << run.out << run.err;
    if (!j.is_object()) return Json::object();
    EXPECT_EQ(j.value("exit_code", -1), run.exitCode) << args;
    EXPECT_EQ(j["error"].is_null(), run.exitCode == 0) << args << ": " << j.dump();
    EXPECT_TRUE(run.exitCode == 0 || !j["error"].get<std::string>().empty()) << args;
    test::WriteFile(box.home / "out.json", run.out);
    EXPECT_EQ(std::system(("python3 -m json.tool '" + box.home / "out.json' >/dev/null").c_str()), 0) << run.out;
    return j;
  }
  test::CliBox box{test::BoxWith([](auto& o) { o.clockOffsetSeconds = 3600; }), test::Demo(1, 30), kIni};
};

TEST_F(JsonCli, EachCommandGivesOneObjectWithItsFields) {
  // What the box holds, by type byte.
  std::map<int, int> byType;
  for (const auto& r : box.bridge.Box()->memory().records()) ++byType[r[0]];
  const size_t count = box.BoxSize();
  std::string snapshot;

  struct Case {
    std::string args;
    int exitCode;
    std::function<void(Json)> check;
  };
  const std::string noBox = " --port " + kNoBox;
  const Case cases[] = {
      {"time get --json", 0,
       [](Json j) {
         EXPECT_EQ(j["command"], "time get");
         EXPECT_NEAR(j["box_ahead_seconds"].get<double>(), 3600.0, 5.0);
         EXPECT_EQ(j["box_time"].get<std::string>().size(), 20u);
         EXPECT_EQ(j["computer_time"].get<std::string>().back(), 'Z');
       }},
      {"settings show --json", 0,
       [](Json j) {
         EXPECT_EQ(j["source"], "box");
         EXPECT_FALSE(j["parameter_file"].get<std::string>().empty());
         bool number = false;
         for (const Json& s : j["settings"]) number |= s["key"] == "IDNUM" && s["value"] == "1234";
         EXPECT_TRUE(number) << j.dump();
       }},
      {"retrieve --json --missing yes --days 0", 0,
       [&](Json j) {
         EXPECT_EQ(j["result"], "ok");
         EXPECT_EQ(j["stop_reason"], "end_of_memory");
         EXPECT_EQ(j["instrument"], "1234");
         EXPECT_EQ(j["records"]["total"], count);
         std::map<int, int> got;
         for (const Json& t : j["records"]["by_type"]) got[t["type"].get<int>()] += t["count"].get<int>();
         EXPECT_EQ(got, byType);
         EXPECT_EQ(j["result_text"].get<std::string>().rfind("Retrieve data OK. Saved to\"", 0), 0u);
         ASSERT_EQ(j["files"].size(), 1u);
         snapshot = j["files"][0].get<std::string>();
         EXPECT_TRUE(test::K8Records(snapshot) == test::NewestFirst(*box.bridge.Box()));
         RecordStore store;
         ASSERT_TRUE(store.LoadFromFile(snapshot) && store.Header());
         EXPECT_EQ(std::vector<uint8_t>(store.Header()->raw(), store.Header()->raw() + store.Header()->length()),
                   box.bridge.Box()->memory().settings());
         const auto& records = box.bridge.Box()->memory().records();  // in time order
         const int64_t first = sim::UnpackTime(sim::RecordPackedTime(records.front())),
                       last = sim::UnpackTime(sim::RecordPackedTime(records.back()));
         EXPECT_EQ(j["first_time"], Iso(first));
         EXPECT_EQ(j["last_time"], Iso(last));
       }},
      {"retrieve --json", 0,
       [](Json j) {
         EXPECT_EQ(j["stop_reason"], "known_record");
         EXPECT_EQ(j["records"]["total"], 0);
         EXPECT_TRUE(j["first_time"].is_null());
       }},
      {"info --json SNAPSHOT", 0,
       [&](Json j) {
         EXPECT_EQ(j["file"], snapshot);
         EXPECT_EQ(j["instrument_number"], "1234");
         EXPECT_EQ(j["records"]["total"], count);
         EXPECT_TRUE(j["damage"].is_null());
       }},
      // Failures: the error in the object, a non-zero exit.
      {"retrieve --json" + noBox, 1,
       [](Json j) {
         EXPECT_EQ(j["result"], "error");
         EXPECT_EQ(j["stop_reason"], "error");
         EXPECT_NE(j["error"].get<std::string>().find(kNoBox), std::string::npos) << j.dump();
       }},
      {"time get --json" + noBox, 1, [](Json j) { EXPECT_TRUE(j["box_time"].is_null()); }},
      {"settings show --json" + noBox, 1, [](Json j) { EXPECT_TRUE(j["settings"].is_null()); }},
      {"info --json /nonexistent.k8", 1, [](Json j) { EXPECT_EQ(j["error"], "Error, can't open /nonexistent.k8"); }},
      {"retrieve --json --days 99", 1, [](Json j) { EXPECT_EQ(j["error"], "--days takes a number from 0 to 30"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    std::string args = c.args;
    if (size_t at = args.find("SNAPSHOT"); at != std::string::npos) args.replace(at, 8, "'" + snapshot + "'");
    c.check(Run(args, c.exitCode));
  }
}

TEST_F(JsonCli, EveryRunIsRecordedAndStatusTellsTheLastSuccessAfterAFailure) {
  // An instrument this INI no longer retrieves, with a damaged time.
  box.Ini(kIni + "[head_0042]\nlast=25/12/01 10:00:00\nlast_run=2025-02-30T00:00:00Z\n");
  Json ok = Run("retrieve --json", 0);
  const std::string success = box.Last("last_success");
  EXPECT_EQ(box.Last("last_run"), success);
  EXPECT_EQ(box.Last("last_run_result"), "ok");
  const std::string last = box.Last();

  // No box: the run cannot tell the instrument and is written to the one retrieved last.
  Json failed = Run("retrieve --json --port " + kNoBox, 1);
  EXPECT_EQ(box.Last("last_success"), success);
  EXPECT_EQ(box.Last(), last);
  EXPECT_EQ(box.Last("last_run_result"), "error");
  EXPECT_EQ(box.Last("last_run_error"), failed["error"]);
  EXPECT_EQ(test::HeadValue(box.home, "last_run_result", "head_0042"), "");

  Json status = Run("status --json", 0);
  EXPECT_EQ(status["configuration"], test::CliIniPath(box.home));
  ASSERT_EQ(status["instruments"].size(), 2u) << status.dump();
  Json old = status["instruments"][0], now = status["instruments"][1];
  EXPECT_EQ(now["head"], "1234");
  EXPECT_EQ(now["last_success"], success);
  EXPECT_EQ(now["last"], ok["last_time"]);
  EXPECT_GE(now["last_run"].get<std::string>(), success);
  EXPECT_EQ(now["last_run_result"], "error");
  EXPECT_EQ(now["last_run_error"], failed["error"]);
  EXPECT_EQ(old["head"], "0042");
  EXPECT_EQ(old["last"], "2025-12-01T10:00:00Z");
  for (const char* never : {"last_success", "last_run", "last_run_result", "last_run_error"})
    EXPECT_TRUE(old[never].is_null()) << never;

  test::CliRun text = box.Run("status", 0);
  EXPECT_TRUE(test::Has(text.out, "head_0042\n  last successful retrieval: never\n")) << text.out;
  EXPECT_TRUE(test::Has(text.out, ", error: " + failed["error"].get<std::string>())) << text.out;
}

}  // namespace
}  // namespace skyh
