// skyharvester-cli retrieve as a station runs it, against the simulated box on
// a pseudo-terminal.
#include <gtest/gtest.h>

#include <signal.h>

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <regex>

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
using test::Has;

std::vector<std::string> K8Files(const std::string& folder, const std::string& pattern) {
  std::vector<std::string> out;
  std::regex re(pattern);
  for (auto& e : std::filesystem::directory_iterator(folder))
    if (std::regex_match(e.path().filename().string(), re)) out.push_back(e.path().string());
  std::sort(out.begin(), out.end());
  return out;
}

// Every file of a folder with its content.
std::map<std::string, std::string> Contents(const std::string& folder) {
  std::map<std::string, std::string> out;
  for (auto& e : std::filesystem::directory_iterator(folder))
    if (e.is_regular_file()) out[e.path().string()] = test::ReadFile(e.path().string());
  return out;
}

// The records of the daily K8 files of a folder, counted.
size_t DailyRecords(const std::string& folder) {
  size_t total = 0;
  for (auto& f : K8Files(folder, "Site_1234[0-9]{8}\\.k8")) total += test::K8Records(f).size();
  return total;
}

class RetrieveCli : public ::testing::Test {
 protected:
  void SetUp() override { GetScenarioList().Load(SKYH_SOURCE_DIR "/demo/ScnList.dat"); }
  // The demo box over `days` days; the INI points at it with `extra` keys.
  void Start(const std::string& extra, int days = 2, int answerDelayMs = 0) {
    sim::BoxOptions options;
    options.faults.answerDelayMs = answerDelayMs;
    bridge = std::make_unique<test::SimPtyBridge>(options, test::Demo(days, 20));
    ASSERT_TRUE(bridge->ok());
    test::WriteCliIni(home, test::DemoIni(bridge->Path(), "retrieve_limited=0\n" + extra));
  }
  CliRun Run(const std::string& args) { return test::RunCli(home, args); }
  std::string Files() const { return home / "Documents/SkyHarvester/"; }
  std::string Last() const { return CIniFile(test::CliIniPath(home)).GetString("head_1234", "last", ""); }
  size_t BoxSize() const { return bridge->Box()->memory().size(); }
  test::TempDir home;
  std::unique_ptr<test::SimPtyBridge> bridge;
};

const char kDaily[] = "[automatic]\nRecPeriod=1\nbasename=Site_%HEAD%\n";
const char kAll[] = "[automatic]\nRecPeriod=0\nbasename=All\n";

TEST_F(RetrieveCli, RetrievesEveryRecordThenNothingNew) {
  Start("");
  CliRun run = Run("retrieve");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(Has(run.out, "Records: " + std::to_string(BoxSize()))) << run.out;
  EXPECT_TRUE(Has(run.out, "Retrieve data OK. Saved to\"" + Files() + "\" directory."));
  auto snapshots = K8Files(Files(), "SPD7000201_1234[0-9]{14}\\.k8");
  ASSERT_EQ(snapshots.size(), 1u);
  EXPECT_TRUE(test::K8Records(snapshots[0]) == test::NewestFirst(*bridge->Box()));
  RecordStore store;
  ASSERT_TRUE(store.LoadFromFile(snapshots[0]) && store.Header());
  EXPECT_EQ(std::vector<uint8_t>(store.Header()->raw(), store.Header()->raw() + store.Header()->length()),
            bridge->Box()->memory().settings());
  const std::string last = Last();
  EXPECT_FALSE(last.empty());
  // The log tells the story of the run.
  const std::string log = test::ReadFile(Files() + "SkyHarvester.log");
  for (const std::string& line :
       {std::string("Open media: OK"), std::to_string(BoxSize()) + " records received correctly",
        std::string("Close media")})
    EXPECT_TRUE(Has(log, line)) << line;

  // Missing-records mode: the box holds nothing newer.
  run = Run("retrieve");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(Has(run.err, "The Photometer is empty") && Has(run.out, "Records: 0"));
  EXPECT_EQ(Last(), last);
}

TEST_F(RetrieveCli, ExportWritesDailyFilesAndOptionsOverrideTheIni) {
  Start(kDaily);
  test::WriteCliIni(home, test::DemoIni("/dev/nonexistent-port", kDaily));
  CliRun run = Run("retrieve --export --days 0 --port '" + bridge->Path() + "' --files '" + home.path() + "out'");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_GE(K8Files(home / "out", "Site_1234[0-9]{8}\\.k8").size(), 2u);
  EXPECT_EQ(DailyRecords(home / "out"), BoxSize());
  EXPECT_FALSE(K8Files(home / "out", "Site_1234[0-9]{8}\\.SUN").empty());

  // A port that does not exist: the link's error, exit code 1, no files.
  run = Run("retrieve --files '" + home.path() + "none'");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(Has(run.out, "Retrieve data error."));
  EXPECT_FALSE(std::filesystem::exists(home / "none"));
  run = Run("retrieve --days 31");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(Has(run.err, "--days"));
}

TEST_F(RetrieveCli, ADamagedFileIsMovedAsideAndNoFileGetsItsRecordsTwice) {
  Start(kDaily);
  const std::string out = home / "out";
  CliRun run = Run("retrieve --export --files '" + out + "'");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  auto daily = K8Files(out, "Site_1234[0-9]{8}\\.k8");
  ASSERT_GE(daily.size(), 2u);
  const auto before = Contents(out);

  // One flipped bit in the length of record 20 of a daily file.
  std::string damaged = before.at(daily[0]);
  size_t at = 0;
  for (int i = 0; i < 20; ++i) at += RecordLengthField(reinterpret_cast<const uint8_t*>(damaged.data()) + at + 1);
  damaged[at + 1] = static_cast<char>(damaged[at + 1] ^ 0x01);
  test::WriteFile(daily[0], damaged);

  // Every record again: the damaged file is set aside untouched and started
  // afresh; the others already end with these records.
  run = Run("retrieve --export --missing no --files '" + out + "'");
  EXPECT_EQ(run.exitCode, 1) << run.err;
  const std::string said = "\"" + daily[0] + "\" is damaged at byte " + std::to_string(at) + ": moved aside to \"";
  EXPECT_TRUE(Has(run.err, said)) << run.err;
  auto aside = K8Files(out, "Site_1234[0-9]{8}\\.k8\\.damaged-[0-9]{14}");
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_EQ(aside[0].rfind(daily[0], 0), 0u);
  EXPECT_EQ(test::ReadFile(aside[0]), damaged);
  auto after = Contents(out);
  after.erase(aside[0]);
  EXPECT_TRUE(after == before);
  EXPECT_TRUE(Has(test::ReadFile(Files() + "SkyHarvester.log"), said));
}

TEST_F(RetrieveCli, AfterAFileCouldNotBeWrittenTheNextRunDoublesNothing) {
  Start(kDaily);
  const std::string out = home / "out";
  std::filesystem::create_directories(out);
  // Something in the way of the newest day's .SUN file (the newest SUN
  // record's day: at night the newest records are of other types).
  DateTimeFields day;
  int64_t newest = -1;
  for (const auto& record : test::NewestFirst(*bridge->Box()))
    if (record[0] == sim::kDemoSun && newest < 0) newest = sim::UnpackTime(sim::RecordPackedTime(record));
  ASSERT_TRUE(TimeToFields(newest, day));
  const std::string sun = out + Sprintf("/Site_1234%04d%02d%02d.SUN", day.year, day.month, day.day);
  std::filesystem::create_directory(sun);

  CliRun run = Run("retrieve --export --files '" + out + "'");
  EXPECT_EQ(run.exitCode, 1) << run.err;
  EXPECT_EQ(Last(), "");
  const auto first = Contents(out);
  std::filesystem::remove(sun);
  run = Run("retrieve --export --files '" + out + "'");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(std::filesystem::is_regular_file(sun));
  auto second = Contents(out);
  second.erase(sun);
  EXPECT_TRUE(second == first);
  EXPECT_EQ(DailyRecords(out), BoxSize());
}

TEST_F(RetrieveCli, LastWaitsForTheSnapshotAndAReadOnlySettingsFolderIsAnError) {
  Start(kAll);
  // The snapshot cannot be written: "last" stays where it was.
  test::WriteFile(home / "blocked", "not a folder");
  CliRun run = Run("retrieve --files '" + home.path() + "blocked'");
  EXPECT_EQ(run.exitCode, 1) << run.err;
  EXPECT_TRUE(Has(run.out, "Can't save to\"")) << run.out;
  EXPECT_EQ(Last(), "");

  // "last" cannot be written: said, logged, exit code 1, every time.
  const std::string folder = home / "cfg/SkyHarvester";
  ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
  for (int i = 0; i < 2; ++i) {
    run = test::RunCliBoundByPermissions(home, "retrieve --export");
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_TRUE(Has(run.err, "Can't write \"last\" to \"" + test::CliIniPath(home) + "\"\n")) << run.err;
  }
  chmod(folder.c_str(), 0755);
  EXPECT_TRUE(Has(test::ReadFile(Files() + "SkyHarvester.log"), "Can't write \"last\" to"));
  EXPECT_EQ(test::K8Records(Files() + "All.k8").size(), BoxSize());  // the second run added nothing

  run = Run("retrieve");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(Has(run.out, "Records: " + std::to_string(BoxSize()))) << run.out;
  EXPECT_FALSE(Last().empty());
}

TEST_F(RetrieveCli, ARecordWrittenLaterInTheSecondOfLastIsExported) {
  Start(kAll);
  CliRun run = Run("retrieve --export");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_FALSE(CIniFile(test::CliIniPath(home)).GetString("head_1234", "last_crc", "").empty());

  // The box stores one more record within the second of the newest one.
  std::vector<uint8_t> late = bridge->Box()->memory().records().back();
  late[7] ^= 0xFF;
  bridge->BoxBetweenRuns()->memory().Append(late);
  run = Run("retrieve --export");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const test::Records all = test::K8Records(Files() + "All.k8");
  ASSERT_EQ(all.size(), BoxSize());
  EXPECT_TRUE(all.back() == late);
}

TEST_F(RetrieveCli, InterruptActsAsAbortAndKeepsTheRecords) {
  Start("", 3, 15);  // about 70 records a second
  CliRun run = test::RunCliWith(home, "retrieve", [](int pid, const std::string& err) {
    ASSERT_TRUE(test::WaitForText(err, "Received blocks: "));
    kill(pid, SIGINT);
  });
  EXPECT_EQ(run.exitCode, 2) << run.err;
  EXPECT_TRUE(Has(run.out, "Retrieve data aborted. Saved to\"")) << run.out;
  auto snapshots = K8Files(Files(), "SPD7000201_1234[0-9]{14}\\.k8");
  ASSERT_EQ(snapshots.size(), 1u);
  // Kept records are the newest ones, in the box's order.
  const test::Records kept = test::K8Records(snapshots[0]), all = test::NewestFirst(*bridge->Box());
  EXPECT_TRUE(!kept.empty() && kept.size() < all.size());
  EXPECT_TRUE(std::equal(kept.begin(), kept.end(), all.begin()));
  EXPECT_EQ(Last(), "");
}

TEST_F(RetrieveCli, AutoRunsOnScheduleAndATermSignalEndsItAfterTheRun) {
  Start("[automatic]\nRecPeriod=0\nbasename=Auto\n", 1, 15);
  // Disabled in the INI: nothing runs without --enable.
  CliRun off = Run("auto --max-runs 1");
  EXPECT_EQ(off.exitCode, 1);
  EXPECT_TRUE(Has(off.err, "not enabled"));

  const int64_t start = (NowUtc() + 2) % 86400;
  const std::string at = Sprintf("%02d:%02d:%02d", int(start / 3600), int(start / 60 % 60), int(start % 60));
  CliRun run = test::RunCliWith(home, "auto --enable --period days --start " + at, [](int pid, const std::string& err) {
    ASSERT_TRUE(test::WaitForText(err, "Received blocks: "));
    kill(pid, SIGTERM);
  });
  EXPECT_EQ(run.exitCode, 0) << run.err;
  // The run in progress was finished, not aborted, and its files written.
  EXPECT_TRUE(Has(run.out, "Retrieve data OK.")) << run.out;
  EXPECT_TRUE(Has(run.err, "Stopped after 1 run(s).")) << run.err;
  EXPECT_EQ(test::K8Records(Files() + "Auto.k8").size(), BoxSize());
  EXPECT_FALSE(Last().empty());
}

}  // namespace
}  // namespace skyh
