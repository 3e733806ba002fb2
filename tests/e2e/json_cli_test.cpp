// skyharvester-cli --json and status, against the simulated box on a
// pseudo-terminal: what a script reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>

#include "core/format.h"
#include "core/ini_file.h"
#include "core/time_util.h"
#include "data/record_store.h"
#include "demo_instrument.h"
#include "records/scenario_list.h"
#include "sim_pty_bridge.h"
#include "support/cli_run.h"

namespace skyh {
namespace {

using Json = nlohmann::json;
const std::string kNoBox = "/dev/skyharvester-no-such-port";

std::string Ini(const std::string& port) {
  return "[general]\nconfiguration=" SKYH_SOURCE_DIR "/demo/\n[communication]\ntype=1\nport=" + port +
         "\nAutoSetTime=0\n[automatic]\nRecPeriod=0\nbasename=Auto\n";
}

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
  void SetUp() override {
    GetScenarioList().Load(SKYH_SOURCE_DIR "/demo/ScnList.dat");
    ASSERT_TRUE(box.ok());
    test::WriteCliIni(home, Ini(box.Path()));
  }
  // The run's stdout as its one JSON object, checked by a second parser too.
  Json Run(const std::string& args, test::CliRun* raw = nullptr) {
    test::CliRun run = test::RunCli(home, args);
    if (raw) *raw = run;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << args << ": one line\n" << run.out;
    Json j = Json::parse(run.out, nullptr, false);
    EXPECT_TRUE(j.is_object()) << args << ": " << run.out << run.err;
    if (!j.is_object()) return Json::object();
    EXPECT_EQ(j.value("exit_code", -1), run.exitCode) << args;
    EXPECT_EQ(j["error"].is_null(), run.exitCode == 0) << args << ": " << j.dump();
    if (run.exitCode != 0) {
      EXPECT_FALSE(j["error"].get<std::string>().empty()) << args;
    }
    test::WriteFile(home / "out.json", run.out);
    EXPECT_EQ(std::system(("python3 -m json.tool '" + home / "out.json' >/dev/null").c_str()), 0) << run.out;
    return j;
  }
  std::string IniValue(const std::string& key) {
    return CIniFile(test::CliIniPath(home)).GetString("head_1234", key, "");
  }

  test::SimPtyBridge box{[] {
                           sim::BoxOptions o;
                           o.clockOffsetSeconds = 3600;
                           return o;
                         }(),
                         [](sim::ControlBox& b) {
                           sim::DemoOptions demo;
                           demo.days = 1;
                           demo.intervalMinutes = 30;
                           sim::GenerateDemoMemory(demo, b.memory());
                           b.memory().SortByTime();
                         }};
  test::TempDir home;
};

TEST_F(JsonCli, EachCommandGivesOneObjectWithItsFields) {
  // What the box holds, by type byte, and its first and last time.
  std::map<int, int> byType;
  for (const auto& r : box.Box()->memory().records()) ++byType[r[0]];
  const size_t count = box.Box()->memory().size();
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
         EXPECT_EQ(j["command"], "retrieve");
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
         RecordStore store;
         ASSERT_TRUE(store.LoadFromFile(snapshot));
         int64_t first = INT64_MAX, last = 0;
         for (int i = 0; i < store.Count(); ++i) {
           first = std::min(first, store.At(i)->time());
           last = std::max(last, store.At(i)->time());
         }
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
      {"status --json", 0,
       [](Json j) {
         ASSERT_EQ(j["instruments"].size(), 1u);
         EXPECT_EQ(j["instruments"][0]["last_run_result"], "ok");
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
    test::CliRun raw;
    const Json j = Run(args, &raw);
    EXPECT_EQ(raw.exitCode, c.exitCode) << raw.err;
    c.check(j);
  }

  // auto: one object per run, one line each.
  const int64_t start = (NowUtc() + 4) % 86400;
  test::CliRun run =
      test::RunCli(home, Sprintf("auto --json --enable --max-runs 1 --period days --start %02d:%02d:%02d",
                                 int(start / 3600), int(start / 60 % 60), int(start % 60)));
  EXPECT_EQ(run.exitCode, 0) << run.err;
  const Json j = Json::parse(run.out, nullptr, false);
  EXPECT_EQ(j["command"], "auto") << run.out;
  EXPECT_EQ(j["result_text"], "Retrieve data OK.");
  EXPECT_NE(run.err.find("Stopped after 1 run(s)."), std::string::npos) << "text on stderr";
}

TEST_F(JsonCli, EveryRunIsRecordedAndStatusTellsTheLastSuccessAfterAFailure) {
  // An instrument this INI no longer retrieves, with a damaged time.
  test::WriteFile(test::CliIniPath(home),
                  Ini(box.Path()) + "[head_0042]\nlast=25/12/01 10:00:00\nlast_run=2025-02-30T00:00:00Z\n");
  Json ok = Run("retrieve --json");
  ASSERT_EQ(ok["result"], "ok");
  const std::string success = IniValue("last_success");
  EXPECT_EQ(IniValue("last_run"), success);
  EXPECT_EQ(IniValue("last_run_result"), "ok");
  const std::string last = IniValue("last");

  // No box: the run cannot tell the instrument and is written to the one retrieved last.
  Json failed = Run("retrieve --json --port " + kNoBox);
  ASSERT_EQ(failed["exit_code"], 1);
  EXPECT_EQ(IniValue("last_success"), success);
  EXPECT_EQ(IniValue("last"), last);
  EXPECT_EQ(IniValue("last_run_result"), "error");
  EXPECT_EQ(IniValue("last_run_error"), failed["error"]);
  EXPECT_EQ(CIniFile(test::CliIniPath(home)).GetString("head_0042", "last_run_result", ""), "");

  Json status = Run("status --json");
  EXPECT_EQ(status["configuration"], test::CliIniPath(home));
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

  test::CliRun text = test::RunCli(home, "status");
  EXPECT_EQ(text.exitCode, 0);
  EXPECT_NE(text.out.find("head_0042\n  last successful retrieval: never\n"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find(", error: " + failed["error"].get<std::string>()), std::string::npos) << text.out;
}

}  // namespace
}  // namespace skyh
