// skyharvester-cli retrieve as a station runs it, against the simulated box on
// a pseudo-terminal.
#include <gtest/gtest.h>

#include <signal.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>
#include <thread>

#include "core/format.h"
#include "core/ini_file.h"
#include "core/time_util.h"
#include "data/k8_layout.h"
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

// Every file of a folder with its content.
std::map<std::string, std::string> Contents(const std::string& folder) {
  std::map<std::string, std::string> out;
  for (auto& e : std::filesystem::directory_iterator(folder))
    if (e.is_regular_file()) out[e.path().string()] = test::ReadFile(e.path().string());
  return out;
}

// Offset of record `index` of a K8 file's bytes (0: the header).
size_t RecordOffset(const std::string& bytes, int index) {
  size_t at = 0;
  for (int i = 0; i < index; ++i) at += RecordLengthField(reinterpret_cast<const uint8_t*>(bytes.data()) + at + 1);
  return at;
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

TEST_F(RetrieveCli, ADamagedFileIsMovedAsideAndNoFileGetsItsRecordsTwice) {
  DemoBox demo;
  ASSERT_TRUE(demo.bridge.ok());
  test::WriteCliIni(home, Ini(demo.bridge.Path(), "retrieve_limited=0\n[automatic]\nRecPeriod=1\nbasename=Site_%HEAD%\n"));
  const std::string out = home / "out";
  CliRun run = test::RunCli(home, "retrieve --export --files '" + out + "'");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  auto daily = K8Files(out, "Site_1234[0-9]{8}\\.k8");
  ASSERT_GE(daily.size(), 2u);
  const auto before = Contents(out);

  // One flipped bit in the length of record 20 of a daily file.
  std::string damaged = before.at(daily[0]);
  const size_t at = RecordOffset(damaged, 20);
  damaged[at + 1] = static_cast<char>(damaged[at + 1] ^ 0x01);
  test::WriteFile(daily[0], damaged);

  // Every record again: the damaged file is set aside untouched and started
  // afresh; the others already end with these records.
  run = test::RunCli(home, "retrieve --export --missing no --files '" + out + "'");
  EXPECT_EQ(run.exitCode, 1) << run.err;
  const std::string said = "\"" + daily[0] + "\" is damaged at byte " + std::to_string(at) + ": moved aside to \"";
  EXPECT_NE(run.err.find(said), std::string::npos) << run.err;
  auto aside = K8Files(out, "Site_1234[0-9]{8}\\.k8\\.damaged-[0-9]{14}");
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_EQ(aside[0].rfind(daily[0], 0), 0u);
  EXPECT_EQ(test::ReadFile(aside[0]), damaged);
  auto after = Contents(out);
  after.erase(aside[0]);
  EXPECT_TRUE(after == before);
  EXPECT_NE(test::ReadFile(Files() + "SkyHarvester.log").find(said), std::string::npos);
}

TEST_F(RetrieveCli, AfterAFileCouldNotBeWrittenTheNextRunDoublesNothing) {
  DemoBox demo;
  ASSERT_TRUE(demo.bridge.ok());
  test::WriteCliIni(home, Ini(demo.bridge.Path(), "retrieve_limited=0\n[automatic]\nRecPeriod=1\nbasename=Site_%HEAD%\n"));
  const std::string out = home / "out";
  std::filesystem::create_directories(out);
  // Something in the way of the newest day's .SUN file (the newest SUN
  // record's day: at night the newest records are of other types).
  DateTimeFields day;
  int64_t newest = -1;
  {
    auto box = demo.bridge.Box();
    for (const auto& record : box->memory().records())
      if (!record.empty() && record[0] == sim::kDemoSun) newest = sim::UnpackTime(sim::RecordPackedTime(record));
  }
  ASSERT_TRUE(TimeToFields(newest, day));
  const std::string sun = out + Sprintf("/Site_1234%04d%02d%02d.SUN", day.year, day.month, day.day);
  std::filesystem::create_directory(sun);

  CliRun run = test::RunCli(home, "retrieve --export --files '" + out + "'");
  EXPECT_EQ(run.exitCode, 1) << run.err;
  EXPECT_EQ(CIniFile(test::CliIniPath(home)).GetString("head_1234", "last", ""), "");
  const auto first = Contents(out);

  std::filesystem::remove(sun);
  run = test::RunCli(home, "retrieve --export --files '" + out + "'");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(std::filesystem::is_regular_file(sun));
  auto second = Contents(out);
  second.erase(sun);
  EXPECT_TRUE(second == first);
  size_t total = 0;
  for (auto& f : K8Files(out, "Site_1234[0-9]{8}\\.k8")) {
    RecordStore s;
    ASSERT_TRUE(s.LoadFromFile(f));
    total += s.Count();
  }
  EXPECT_EQ(total, demo.bridge.Box()->memory().size());
}

TEST_F(RetrieveCli, LastWaitsForTheSnapshotAndAReadOnlySettingsFolderIsAnError) {
  DemoBox demo;
  ASSERT_TRUE(demo.bridge.ok());
  test::WriteCliIni(home, Ini(demo.bridge.Path(), "retrieve_limited=0\n[automatic]\nRecPeriod=0\nbasename=All\n"));
  const size_t count = demo.bridge.Box()->memory().size();
  // The snapshot cannot be written: "last" stays where it was.
  test::WriteFile(home / "blocked", "not a folder");
  CliRun run = test::RunCli(home, "retrieve --files '" + home.path() + "blocked'");
  EXPECT_EQ(run.exitCode, 1) << run.err;
  EXPECT_NE(run.out.find("Can't save to\""), std::string::npos) << run.out;
  EXPECT_EQ(CIniFile(test::CliIniPath(home)).GetString("head_1234", "last", ""), "");

  // "last" cannot be written: said, logged, exit code 1, every time.
  const std::string folder = home / "cfg/SkyHarvester";
  ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
  for (int i = 0; i < 2; ++i) {
    run = test::RunCliBoundByPermissions(home, "retrieve --export");
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find("Can't write \"last\" to \"" + test::CliIniPath(home) + "\"\n"), std::string::npos)
        << run.err;
  }
  chmod(folder.c_str(), 0755);
  EXPECT_NE(test::ReadFile(Files() + "SkyHarvester.log").find("Can't write \"last\" to"), std::string::npos);
  RecordStore all;
  ASSERT_TRUE(all.LoadFromFile(Files() + "All.k8"));
  EXPECT_EQ(static_cast<size_t>(all.Count()), count);  // the second run added nothing

  run = test::RunCli(home, "retrieve");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("Records: " + std::to_string(count)), std::string::npos) << run.out;
  EXPECT_FALSE(CIniFile(test::CliIniPath(home)).GetString("head_1234", "last", "").empty());
}

TEST_F(RetrieveCli, ARecordWrittenLaterInTheSecondOfLastIsExported) {
  DemoBox demo;
  ASSERT_TRUE(demo.bridge.ok());
  test::WriteCliIni(home, Ini(demo.bridge.Path(), "retrieve_limited=0\n[automatic]\nRecPeriod=0\nbasename=All\n"));
  CliRun run = test::RunCli(home, "retrieve --export");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_FALSE(CIniFile(test::CliIniPath(home)).GetString("head_1234", "last_crc", "").empty());

  // The box stores one more record within the second of the newest one.
  std::vector<uint8_t> late = demo.bridge.Box()->memory().records().back();
  late[7] ^= 0xFF;
  demo.bridge.BoxBetweenRuns()->memory().Append(late);
  run = test::RunCli(home, "retrieve --export");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  RecordStore all;
  ASSERT_TRUE(all.LoadFromFile(Files() + "All.k8"));
  ASSERT_EQ(static_cast<size_t>(all.Count()), demo.bridge.Box()->memory().size());
  EXPECT_TRUE(Records(all).back() == late);
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
