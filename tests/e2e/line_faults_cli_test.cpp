// skyharvester-cli over lines that are hard on the protocol: a half-duplex
// adapter that echoes every request, and a slow 9600-baud line with long
// replies and long requests. The simulated box serves a pseudo-terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "core/time_util.h"
#include "data/record_store.h"
#include "demo_instrument.h"
#include "protocol/firmware_recorders.h"
#include "records/scenario_list.h"
#include "sim_pty_bridge.h"
#include "support/cli_run.h"
#include "support/record_bytes.h"
#include "support/temp_dir.h"

namespace skyh {
namespace {

using Records = std::vector<std::vector<uint8_t>>;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

void WriteIni(const test::TempDir& home, const std::string& port) {
  test::WriteCliIni(home, "[general]\nconfiguration=" SKYH_SOURCE_DIR "/demo/\n[communication]\ntype=1\nport=" +
                              port + "\nlog=1\nretrieve_limited=0\nretrieve_missing=0\n");
}

// The records of the one K8 snapshot the run wrote into the files folder.
Records Snapshot(const test::TempDir& home) {
  const std::string folder = home / "Documents/SkyHarvester/";
  std::vector<std::string> k8;
  for (auto& e : std::filesystem::directory_iterator(folder))
    if (e.path().extension() == ".k8") k8.push_back(e.path().string());
  EXPECT_EQ(k8.size(), 1u);
  RecordStore store;
  if (k8.size() != 1 || !store.LoadFromFile(k8[0])) return {};
  Records out;
  for (int i = 0; i < store.Count(); ++i)
    out.emplace_back(store.At(i)->raw(), store.At(i)->raw() + store.At(i)->length());
  return out;
}

Records NewestFirst(const sim::ControlBox& box) {
  Records r = box.memory().records();
  std::reverse(r.begin(), r.end());
  return r;
}

class LineFaultsCli : public ::testing::Test {
 protected:
  void SetUp() override { GetScenarioList().Load(SKYH_SOURCE_DIR "/demo/ScnList.dat"); }
  test::TempDir home;
};

TEST_F(LineFaultsCli, DeadBoxBehindAnEchoingLineFailsEveryCommand) {
  sim::BoxOptions options;
  options.faults.echoRequests = true;     // the adapter hands every request back
  options.faults.silentAfterReplies = 0;  // and the box never answers
  test::SimPtyBridge bridge(options, [](sim::ControlBox& box) { test::FillMemory(box.memory(), 5); });
  ASSERT_TRUE(bridge.ok());
  WriteIni(home, bridge.Path());

  test::CliRun clear = test::RunCli(home, "clear-flash --yes");
  EXPECT_NE(clear.exitCode, 0);
  EXPECT_FALSE(Has(clear.out + clear.err, "Clear flash memory success")) << clear.out << clear.err;
  test::CliRun set = test::RunCli(home, "time set 2025-03-07 14:05:09");
  EXPECT_NE(set.exitCode, 0);
  EXPECT_FALSE(Has(set.out + set.err, "Set time/date ok")) << set.out << set.err;
  test::CliRun get = test::RunCli(home, "time get");
  EXPECT_NE(get.exitCode, 0);
  EXPECT_TRUE(get.out.empty()) << get.out;
  test::CliRun retrieve = test::RunCli(home, "retrieve");
  EXPECT_NE(retrieve.exitCode, 0);
  EXPECT_FALSE(Has(retrieve.out, "Retrieve data OK")) << retrieve.out;
  EXPECT_TRUE(Has(retrieve.out + retrieve.err, "Get settings error: 2")) << retrieve.out << retrieve.err;
  EXPECT_EQ(bridge.Box()->memory().size(), 5u);
}

TEST_F(LineFaultsCli, LiveBoxBehindAnEchoingLineGivesEveryRecordOnce) {
  sim::BoxOptions options;
  options.faults.echoRequests = true;
  test::SimPtyBridge bridge(options, [](sim::ControlBox& box) {
    sim::DemoOptions demo;
    demo.days = 1;
    demo.intervalMinutes = 30;
    sim::GenerateDemoMemory(demo, box.memory());
    box.memory().SortByTime();
  });
  ASSERT_TRUE(bridge.ok());
  WriteIni(home, bridge.Path());
  test::CliRun run = test::RunCli(home, "retrieve");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const size_t count = bridge.Box()->memory().size();
  EXPECT_TRUE(Has(run.out, "Records: " + std::to_string(count) + " ")) << run.out;
  EXPECT_TRUE(Snapshot(home) == NewestFirst(*bridge.Box()));

  // The box's own commands too, each learning the line anew.
  test::CliRun clear = test::RunCli(home, "clear-flash --yes");
  EXPECT_EQ(clear.exitCode, 0) << clear.err;
  EXPECT_EQ(clear.out, "Clear flash memory success\n");
  EXPECT_EQ(bridge.Box()->memory().size(), 0u);
}

TEST_F(LineFaultsCli, A2000ByteRecordSecondFromTheTopArrivesAt9600Baud) {
  sim::BoxOptions options;
  options.baud = 9600;  // its 4012-byte reply frame takes 4.2 s, longer than the 3 s time-out
  test::SimPtyBridge bridge(options, [](sim::ControlBox& box) {
    const int64_t t = 1764547200;  // 2025-12-01
    box.memory().SetSettings(sim::MakeDemoSettingsRecord(1234, t));
    const size_t sizes[] = {30, 40, 2000, 30};  // oldest first
    for (size_t i = 0; i < 4; ++i) {
      DateTimeFields f;
      TimeToFields(t + 600 * int64_t(i), f);
      box.memory().Append(test::MakeRecordBytes(sim::kDemoUnknownType,
                                                test::PackDateTime(f.year, f.month, f.day, f.hour, f.minute, f.second),
                                                std::vector<uint8_t>(sizes[i], uint8_t(0x30 + i))));
    }
  });
  ASSERT_TRUE(bridge.ok());
  WriteIni(home, bridge.Path());
  test::CliRun run = test::RunCli(home, "retrieve");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(Has(run.out, "Records: 4 ")) << run.out;
  const Records got = Snapshot(home);
  EXPECT_TRUE(got == NewestFirst(*bridge.Box()));
  ASSERT_EQ(got.size(), 4u);
  EXPECT_GT(got[1].size(), 2000u);
}

TEST_F(LineFaultsCli, FirmwareUpdateWith2048ByteBlocksAt9600BaudSucceeds) {
  test::FirmwareFixture fixture;
  // Two blocks are enough: each WriteCode frame is 4112 bytes, 4.3 s on the line.
  fixture.MakePhx(test::PatternBytes(4096, 4), {2, 5, 0});
  sim::BoxOptions options;
  options.baud = 9600;
  options.boot.blockSize = 2048;
  options.boot.rebootMs = 300;
  options.boot.hasVersionAfterUpdate = true;
  options.boot.versionAfterUpdate = {2, 5, 0};
  test::SimPtyBridge bridge(options, [](sim::ControlBox& box) { test::FillMemory(box.memory(), 3); });
  ASSERT_TRUE(bridge.ok());
  test::WriteCliIni(fixture.dir, "[general]\nconfiguration=" SKYH_SOURCE_DIR "/demo/\n");
  test::CliRun run = test::RunCli(fixture.dir, "firmware '" + fixture.dir / "update.phx" +
                                                   "' --yes --no-backup --type serial --port '" + bridge.Path() +
                                                   "' --assets '" + fixture.dir.path() + "'");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(Has(run.err, "Update firmware from version 2.1.0 to version 2.5.0 :\nSUCCESS")) << run.err;
  EXPECT_FALSE(Has(run.err, "Write checksum error")) << run.err;
  EXPECT_EQ(bridge.Box()->firmware(), (sim::FirmwareVersion{2, 5, 0}));
}

}  // namespace
}  // namespace skyh
