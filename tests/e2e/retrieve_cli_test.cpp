// skyharvester-cli retrieve as a station runs it, against the simulated box on
// a pseudo-terminal.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <thread>

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

using test::CliRun;

std::string Ini(const std::string& port, const std::string& extra = "") {
  return "[general]\nconfiguration=" SKYH_SOURCE_DIR "/demo/\n[communication]\ntype=1\nport=" + port +
         "\nlog=1\n" + extra;
}

std::vector<std::string> K8Files(const std::string& folder, const std::string& pattern) {
  std::vector<std::string> out;
  std::regex re(pattern);
  for (auto& e : std::filesystem::directory_iterator(folder))
    if (std::regex_match(e.path().filename().string(), re)) out.push_back(e.path().string());
  std::sort(out.begin(), out.end());
  return out;
}

// The box's records, newest first.
std::vector<std::vector<uint8_t>> NewestFirst(const sim::ControlBox& box) {
  auto r = box.memory().records();
  std::reverse(r.begin(), r.end());
  return r;
}

std::vector<std::vector<uint8_t>> Records(const RecordStore& store) {
  std::vector<std::vector<uint8_t>> out;
  for (int i = 0; i < store.Count(); ++i) out.emplace_back(store.At(i)->raw(), store.At(i)->raw() + store.At(i)->length());
  return out;
}

struct DemoBox {
  explicit DemoBox(sim::BoxOptions options = {}, int days = 2)
      : bridge(options, [days](sim::ControlBox& box) {
          sim::DemoOptions demo;
          demo.days = days;
          demo.intervalMinutes = 20;
          sim::GenerateDemoMemory(demo, box.memory());
          box.memory().SortByTime();
        }) {}
  test::SimPtyBridge bridge;
};

class RetrieveCli : public ::testing::Test {
 protected:
  void SetUp() override { GetScenarioList().Load(SKYH_SOURCE_DIR "/demo/ScnList.dat"); }
  std::string Files() const { return home / "Documents/SkyHarvester/"; }
  test::TempDir home;
};

TEST_F(RetrieveCli, RetrievesEveryRecordThenNothingNew) {
  DemoBox demo;
  ASSERT_TRUE(demo.bridge.ok());
  test::WriteCliIni(home, Ini(demo.bridge.Path(), "retrieve_limited=0\n"));
  CliRun run = test::RunCli(home, "retrieve");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const size_t count = demo.bridge.Box()->memory().size();
  EXPECT_NE(run.out.find("Records: " + std::to_string(count)), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Retrieve data OK. Saved to\"" + Files() + "\" directory."), std::string::npos);

  auto snapshots = K8Files(Files(), "SPD7000201_1234[0-9]{14}\\.k8");
  ASSERT_EQ(snapshots.size(), 1u);
  RecordStore store;
  ASSERT_TRUE(store.LoadFromFile(snapshots[0]));
  EXPECT_TRUE(Records(store) == NewestFirst(*demo.bridge.Box()));
  ASSERT_NE(store.Header(), nullptr);
  EXPECT_EQ(std::vector<uint8_t>(store.Header()->raw(), store.Header()->raw() + store.Header()->length()),
            demo.bridge.Box()->memory().settings());
  const std::string last = CIniFile(test::CliIniPath(home)).GetString("head_1234", "last", "");
  EXPECT_FALSE(last.empty());

  // The log tells the story of the run.
  const std::string log = test::ReadFile(Files() + "SkyHarvester.log");
  EXPECT_NE(log.find("Open media: OK"), std::string::npos);
  EXPECT_NE(log.find(std::to_string(count) + " records received correctly"), std::string::npos);
  EXPECT_NE(log.find("Close media"), std::string::npos);

  // Missing-records mode: the box holds nothing newer.
  run = test::RunCli(home, "retrieve");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("The Photometer is empty"), std::string::npos);
  EXPECT_NE(run.out.find("Records: 0"), std::string::npos);
  EXPECT_EQ(CIniFile(test::CliIniPath(home)).GetString("head_1234", "last", ""), last);
}

TEST_F(RetrieveCli, ExportWritesDailyFilesAndOptionsOverrideTheIni) {
  DemoBox demo;
  ASSERT_TRUE(demo.bridge.ok());
  test::WriteCliIni(home, Ini("/dev/nonexistent-port", "[automatic]\nRecPeriod=1\nbasename=Site_%HEAD%\n"));
  CliRun run = test::RunCli(home, "retrieve --export --days 0 --port '" + demo.bridge.Path() + "' --files '" +
                                      home.path() + "out'");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  auto daily = K8Files(home / "out", "Site_1234[0-9]{8}\\.k8");
  EXPECT_GE(daily.size(), 2u);
  size_t total = 0;
  for (auto& f : daily) {
    RecordStore s;
    ASSERT_TRUE(s.LoadFromFile(f));
    total += s.Count();
  }
  EXPECT_EQ(total, demo.bridge.Box()->memory().size());
  EXPECT_FALSE(K8Files(home / "out", "Site_1234[0-9]{8}\\.SUN").empty());

  // A port that does not exist: the link's error, exit code 1, no files.
  run = test::RunCli(home, "retrieve --files '" + home.path() + "none'");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.out.find("Retrieve data error."), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(home / "none"));

  run = test::RunCli(home, "retrieve --days 31");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("--days"), std::string::npos);
}

TEST_F(RetrieveCli, InterruptActsAsAbortAndKeepsTheRecords) {
  sim::BoxOptions slow;
  slow.faults.answerDelayMs = 15;  // about 70 records a second
  DemoBox demo(slow, 3);
  ASSERT_TRUE(demo.bridge.ok());
  test::WriteCliIni(home, Ini(demo.bridge.Path(), "retrieve_limited=0\n"));
  CliRun run = test::RunCliWith(home, "retrieve", [](int pid, const std::string& err) {
    ASSERT_TRUE(test::WaitForText(err, "Received blocks: "));
    kill(pid, SIGINT);
  });
  EXPECT_EQ(run.exitCode, 2) << run.err;
  EXPECT_NE(run.out.find("Retrieve data aborted. Saved to\""), std::string::npos) << run.out;
  auto snapshots = K8Files(Files(), "SPD7000201_1234[0-9]{14}\\.k8");
  ASSERT_EQ(snapshots.size(), 1u);
  RecordStore store;
  ASSERT_TRUE(store.LoadFromFile(snapshots[0]));
  EXPECT_GT(store.Count(), 0);
  EXPECT_LT(static_cast<size_t>(store.Count()), demo.bridge.Box()->memory().size());
  // Kept records are the newest ones, in the box's order.
  auto all = NewestFirst(*demo.bridge.Box());
  auto kept = Records(store);
  EXPECT_TRUE(std::equal(kept.begin(), kept.end(), all.begin()));
  EXPECT_EQ(CIniFile(test::CliIniPath(home)).GetString("head_1234", "last", ""), "");
}

TEST_F(RetrieveCli, AutoRunsOnScheduleAndATermSignalEndsItAfterTheRun) {
  sim::BoxOptions slow;
  slow.faults.answerDelayMs = 15;
  DemoBox demo(slow, 1);
  ASSERT_TRUE(demo.bridge.ok());
  test::WriteCliIni(home, Ini(demo.bridge.Path(), "retrieve_limited=0\n[automatic]\nRecPeriod=0\nbasename=Auto\n"));
  // Disabled in the INI: nothing runs without --enable.
  CliRun off = test::RunCli(home, "auto --max-runs 1");
  EXPECT_EQ(off.exitCode, 1);
  EXPECT_NE(off.err.find("not enabled"), std::string::npos);

  const int64_t start = (NowUtc() + 2) % 86400;
  const std::string at = Sprintf("%02d:%02d:%02d", int(start / 3600), int(start / 60 % 60), int(start % 60));
  CliRun run = test::RunCliWith(home, "auto --enable --period days --start " + at, [](int pid, const std::string& err) {
    ASSERT_TRUE(test::WaitForText(err, "Received blocks: "));
    kill(pid, SIGTERM);
  });
  EXPECT_EQ(run.exitCode, 0) << run.err;
  // The run in progress was finished, not aborted, and its files written.
  EXPECT_NE(run.out.find("Retrieve data OK."), std::string::npos) << run.out;
  EXPECT_NE(run.err.find("Stopped after 1 run(s)."), std::string::npos) << run.err;
  RecordStore store;
  ASSERT_TRUE(store.LoadFromFile(home / "Documents/SkyHarvester/Auto.k8"));
  EXPECT_EQ(static_cast<size_t>(store.Count()), demo.bridge.Box()->memory().size());
  EXPECT_FALSE(CIniFile(test::CliIniPath(home)).GetString("head_1234", "last", "").empty());
}

}  // namespace
}  // namespace skyh
