// skyharvester-cli over lines that are hard on the protocol: a half-duplex
// adapter that echoes every request, and a slow 9600-baud line with long
// replies and long requests. The simulated box serves a pseudo-terminal.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "demo_instrument.h"
#include "protocol/firmware_recorders.h"
#include "records/scenario_list.h"
#include "sim_pty_bridge.h"
#include "support/cli_run.h"
#include "support/temp_dir.h"

namespace skyh {
namespace {

using test::Has;

class LineFaultsCli : public ::testing::Test {
 protected:
  void SetUp() override { GetScenarioList().Load(SKYH_SOURCE_DIR "/demo/ScnList.dat"); }
  // Retrieves every record over `bridge` and checks the one snapshot holds them.
  void RetrieveAll(test::SimPtyBridge& bridge) {
    test::WriteCliIni(home, test::DemoIni(bridge.Path(), "retrieve_limited=0\nretrieve_missing=0\n"));
    test::CliRun run = test::RunCli(home, "retrieve");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Has(run.out, "Records: " + std::to_string(bridge.Box()->memory().size()) + " ")) << run.out;
    std::vector<std::string> k8;
    for (auto& e : std::filesystem::directory_iterator(home / "Documents/SkyHarvester/"))
      if (e.path().extension() == ".k8") k8.push_back(e.path().string());
    ASSERT_EQ(k8.size(), 1u);
    snapshot = test::K8Records(k8[0]);
    EXPECT_TRUE(snapshot == test::NewestFirst(*bridge.Box()));
  }
  test::TempDir home;
  test::Records snapshot;
};

TEST_F(LineFaultsCli, DeadBoxBehindAnEchoingLineFailsEveryCommand) {
  sim::BoxOptions options;
  options.faults.echoRequests = true;     // the adapter hands every request back
  options.faults.silentAfterReplies = 0;  // and the box never answers
  test::SimPtyBridge bridge(options, [](sim::ControlBox& box) { test::FillMemory(box.memory(), 5); });
  ASSERT_TRUE(bridge.ok());
  test::WriteCliIni(home, test::DemoIni(bridge.Path()));
  // Each command fails and never claims the success an echo could fake
  // ("time get" prints nothing).
  std::string said;
  for (auto [command, success] : {std::pair{"clear-flash --yes", "Clear flash memory success"},
                                  {"time set 2025-03-07 14:05:09", "Set time/date ok"},
                                  {"time get", ""},
                                  {"retrieve", "Retrieve data OK"}}) {
    test::CliRun run = test::RunCli(home, command);
    EXPECT_NE(run.exitCode, 0) << command;
    EXPECT_TRUE(*success ? !Has(run.out + run.err, success) : run.out.empty()) << run.out << run.err;
    said += run.out + run.err;
  }
  EXPECT_TRUE(Has(said, "Get settings error: 2")) << said;
  EXPECT_EQ(bridge.Box()->memory().size(), 5u);
}

TEST_F(LineFaultsCli, LiveBoxBehindAnEchoingLineGivesEveryRecordOnce) {
  sim::BoxOptions options;
  options.faults.echoRequests = true;
  test::SimPtyBridge bridge(options, test::Demo(1, 30));
  ASSERT_TRUE(bridge.ok());
  RetrieveAll(bridge);
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
    for (size_t i = 0; i < 4; ++i)
      box.memory().Append(sim::MakeRecord(sim::kDemoUnknownType, sim::PackTime(t + 600 * int64_t(i)),
                                          std::vector<uint8_t>(sizes[i], uint8_t(0x30 + i))));
  });
  ASSERT_TRUE(bridge.ok());
  RetrieveAll(bridge);
  ASSERT_EQ(snapshot.size(), 4u);
  EXPECT_GT(snapshot[1].size(), 2000u);
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
