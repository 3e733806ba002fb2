// skyharvester-cli retrieve as a station runs it, against the simulated box on
// a pseudo-terminal.
#include <signal.h>
#include <sys/stat.h>

#include <map>
#include <nlohmann/json.hpp>

#include "core/format.h"
#include "core/time_util.h"
#include "data/k8_layout.h"
#include "demo_instrument.h"
#include "sim_pty_bridge.h"
#include "support/test_common.h"

namespace skyh {
namespace {

using test::CliRun;
using test::Has;

// Every file of a folder with its content.
std::map<std::string, std::string> Contents(const std::string& folder) {
  std::map<std::string, std::string> out;
  for (auto& e : std::filesystem::directory_iterator(folder))
    if (e.is_regular_file()) out[e.path().string()] = test::ReadFile(e.path().string());
  return out;
}

std::vector<std::string> Daily(const std::string& folder) {
  return test::FilesMatching(folder, "Site_1234[0-9]{8}\\.k8");
}

// The records of the daily K8 files of a folder, counted.
size_t DailyRecords(const std::string& folder) {
  size_t total = 0;
  for (auto& f : Daily(folder)) total += test::K8Records(f).size();
  return total;
}

// About 70 records a second.
const sim::BoxOptions kSlow = test::BoxWith([](auto& o) { o.faults.answerDelayMs = 15; });
const auto kTwoDays = test::Demo(2, 20);
const std::string kNoLimit = "retrieve_limited=0\n";
const std::string kDaily = kNoLimit + "[automatic]\nRecPeriod=1\nbasename=Site_%HEAD%\n";
const std::string kAll = kNoLimit + "[automatic]\nRecPeriod=0\nbasename=All\n";

TEST(RetrieveCli, DailyFilesWithOptionsOverTheIniAndADamagedOneIsMovedAsideNeverDoubled) {
  test::CliBox box({}, kTwoDays);
  test::WriteCliIni(box.home, test::DemoIni("/dev/nonexistent-port", kDaily));
  const std::string out = box.home / "out", options = " --port '" + box.bridge.Path() + "' --files '" + out + "'";
  box.Run("retrieve --export --days 0" + options, 0);
  auto daily = Daily(out);
  ASSERT_GE(daily.size(), 2u);
  EXPECT_EQ(DailyRecords(out), box.BoxSize());
  EXPECT_FALSE(test::FilesMatching(out, "Site_1234[0-9]{8}\\.SUN").empty());
  const auto before = Contents(out);

  // One flipped bit in the length of record 20 of a daily file.
  std::string damaged = before.at(daily[0]);
  size_t at = 0;
  for (int i = 0; i < 20; ++i) at += RecordLengthField(reinterpret_cast<const uint8_t*>(damaged.data()) + at + 1);
  damaged[at + 1] = static_cast<char>(damaged[at + 1] ^ 0x01);
  test::WriteFile(daily[0], damaged);

  // Every record again: the damaged file is set aside untouched and started
  // afresh; the others already end with these records.
  CliRun run = box.Run("retrieve --export --missing no" + options, 1);
  const std::string said = "\"" + daily[0] + "\" is damaged at byte " + std::to_string(at) + ": moved aside to \"";
  EXPECT_TRUE(Has(run.err, said)) << run.err;
  auto aside = test::FilesMatching(out, "Site_1234[0-9]{8}\\.k8\\.damaged-[0-9]{14}");
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_EQ(aside[0].rfind(daily[0], 0), 0u);
  EXPECT_EQ(test::ReadFile(aside[0]), damaged);
  auto after = Contents(out);
  after.erase(aside[0]);
  EXPECT_TRUE(after == before);
  EXPECT_TRUE(Has(test::ReadFile(box.Files() + "SkyHarvester.log"), said));
}

TEST(RetrieveCli, AfterAFileCouldNotBeWrittenTheNextRunDoublesNothing) {
  test::CliBox box({}, kTwoDays, kDaily);
  const std::string out = box.home / "out";
  std::filesystem::create_directories(out);
  // Something in the way of the newest day's .SUN file (the newest SUN
  // record's day: at night the newest records are of other types).
  DateTimeFields day;
  int64_t newest = -1;
  for (const auto& record : test::NewestFirst(*box.bridge.Box()))
    if (record[0] == sim::kDemoSun && newest < 0) newest = sim::UnpackTime(sim::RecordPackedTime(record));
  ASSERT_TRUE(TimeToFields(newest, day));
  const std::string sun = out + Sprintf("/Site_1234%04d%02d%02d.SUN", day.year, day.month, day.day);
  std::filesystem::create_directory(sun);

  box.Run("retrieve --export --files '" + out + "'", 1);
  EXPECT_EQ(box.Last(), "");
  const auto first = Contents(out);
  std::filesystem::remove(sun);
  box.Run("retrieve --export --files '" + out + "'", 0);
  EXPECT_TRUE(std::filesystem::is_regular_file(sun));
  auto second = Contents(out);
  second.erase(sun);
  EXPECT_TRUE(second == first);
  EXPECT_EQ(DailyRecords(out), box.BoxSize());
}

TEST(RetrieveCli, LastWaitsForTheSnapshotAndAReadOnlySettingsFolderIsAnError) {
  test::CliBox box({}, kTwoDays, kAll);
  // The snapshot cannot be written: "last" stays where it was.
  test::WriteFile(box.home / "blocked", "not a folder");
  EXPECT_TRUE(Has(box.Run("retrieve --files '" + box.home.path() + "blocked'", 1).out, "Can't save to\""));
  EXPECT_EQ(box.Last(), "");

  // "last" cannot be written: said, logged, exit code 1, every time.
  const std::string folder = box.home / "cfg/SkyHarvester";
  ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
  for (int i = 0; i < 2; ++i) {
    CliRun run = test::RunCliBoundByPermissions(box.home, "retrieve --export");
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_TRUE(Has(run.err, "Can't write \"last\" to \"" + test::CliIniPath(box.home) + "\"\n")) << run.err;
  }
  chmod(folder.c_str(), 0755);
  EXPECT_TRUE(Has(test::ReadFile(box.Files() + "SkyHarvester.log"), "Can't write \"last\" to"));
  EXPECT_EQ(test::K8Records(box.Files() + "All.k8").size(), box.BoxSize());  // the second run added nothing

  EXPECT_TRUE(Has(box.Run("retrieve", 0).out, "Records: " + std::to_string(box.BoxSize())));
  EXPECT_FALSE(box.Last().empty());
}

TEST(RetrieveCli, ARecordWrittenLaterInTheSecondOfLastIsExported) {
  test::CliBox box({}, kTwoDays, kAll);
  box.Run("retrieve --export", 0);
  EXPECT_FALSE(box.Last("last_crc").empty());

  // The box stores one more record within the second of the newest one.
  std::vector<uint8_t> late = box.bridge.Box()->memory().records().back();
  late[7] ^= 0xFF;
  box.bridge.BoxBetweenRuns()->memory().Append(late);
  box.Run("retrieve --export", 0);
  const test::Records all = test::K8Records(box.Files() + "All.k8");
  ASSERT_EQ(all.size(), box.BoxSize());
  EXPECT_TRUE(all.back() == late);
}

TEST(RetrieveCli, InterruptActsAsAbortAndKeepsTheRecords) {
  test::CliBox box(kSlow, test::Demo(3, 20), kNoLimit);
  CliRun run = test::RunCliWith(box.home, "retrieve", [](int pid, const std::string& err) {
    ASSERT_TRUE(test::WaitForText(err, "Received blocks: "));
    kill(pid, SIGINT);
  });
  EXPECT_EQ(run.exitCode, 2) << run.err;
  EXPECT_TRUE(Has(run.out, "Retrieve data aborted. Saved to\"")) << run.out;
  auto snapshots = box.Snapshots();
  ASSERT_EQ(snapshots.size(), 1u);
  // Kept records are the newest ones, in the box's order.
  const test::Records kept = test::K8Records(snapshots[0]), all = test::NewestFirst(*box.bridge.Box());
  EXPECT_TRUE(!kept.empty() && kept.size() < all.size());
  EXPECT_TRUE(std::equal(kept.begin(), kept.end(), all.begin()));
  EXPECT_EQ(box.Last(), "");
}

TEST(RetrieveCli, AutoRunsOnScheduleAndATermSignalEndsItAfterTheRun) {
  test::CliBox box(kSlow, test::Demo(1, 20), kNoLimit + "[automatic]\nRecPeriod=0\nbasename=Auto\n");
  // Disabled in the INI: nothing runs without --enable.
  EXPECT_TRUE(Has(box.Run("auto --max-runs 1", 1).err, "not enabled"));

  const int64_t start = (NowUtc() + 2) % 86400;
  const std::string at = Sprintf("%02d:%02d:%02d", int(start / 3600), int(start / 60 % 60), int(start % 60));
  CliRun run = test::RunCliWith(box.home, "auto --json --enable --period days --start " + at,
                                [](int pid, const std::string& err) {
                                  ASSERT_TRUE(test::WaitForText(err, "Received blocks: "));
                                  kill(pid, SIGTERM);
                                });
  EXPECT_EQ(run.exitCode, 0) << run.err;
  // The run in progress was finished, not aborted, and its files written;
  // one JSON object per run on stdout, the text on stderr.
  nlohmann::json j = nlohmann::json::parse(run.out, nullptr, false);
  ASSERT_TRUE(j.is_object()) << run.out;
  EXPECT_EQ(j["command"], "auto");
  EXPECT_EQ(j["result_text"], "Retrieve data OK.");
  EXPECT_TRUE(Has(run.err, "Stopped after 1 run(s).")) << run.err;
  EXPECT_EQ(test::K8Records(box.Files() + "Auto.k8").size(), box.BoxSize());
  EXPECT_FALSE(box.Last().empty());
}

}  // namespace
}  // namespace skyh
