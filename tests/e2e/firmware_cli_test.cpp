// skyharvester-cli firmware as a user runs it, against the simulated box on a
// pseudo-terminal.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "protocol/firmware_recorders.h"
#include "sim_pty_bridge.h"
#include "support/cli_run.h"
#include "support/temp_dir.h"

namespace skyh {
namespace {

using test::CliRun;
using test::RunCli;

sim::BoxOptions Box(uint8_t bootVersion) {
  sim::BoxOptions o;
  o.boot.version = bootVersion;
  o.boot.rebootMs = 300;
  o.boot.hasVersionAfterUpdate = true;
  o.boot.versionAfterUpdate = {2, 5, 0};
  return o;
}

// "firmware FILE --yes" with the options that point at the box and the assets.
CliRun Firmware(const test::FirmwareFixture& f, const std::string& file, const std::string& port,
                const std::string& options) {
  return RunCli(f.dir, "firmware '" + f.dir / file + "' --yes --type serial --port '" + port + "' --assets '" +
                           f.dir.path() + "' " + options);
}

TEST(FirmwareCliE2E, BacksUpThenUpdatesABootLoaderOfVersionZero) {
  test::FirmwareFixture fixture;
  test::SimPtyBridge bridge(Box(0), test::Demo(1));
  ASSERT_TRUE(bridge.ok());
  test::WriteCliIni(fixture.dir, "[general]\nconfiguration=" SKYH_SOURCE_DIR "/demo/\n");
  const std::string files = fixture.dir / "backup/";
  CliRun run = Firmware(fixture, "update.phx", bridge.Path(), "--backup --files '" + files + "'");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("File version: 2.5.0\nFile size: 19 Kbytes\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Firmware version: 2.1.0\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Bootloader version: 0.0\n"), std::string::npos) << run.out;
  EXPECT_NE(run.err.find("Update firmware from version 2.1.0 to version 2.5.0 :\nSUCCESS"), std::string::npos);
  EXPECT_NE(run.out.find("Settings saved: " + files + "Settings_1234.set"), std::string::npos) << run.out;
  EXPECT_NE(test::ReadFile(files + "Settings_1234.set").find("[Settings]"), std::string::npos);
  size_t snapshots = 0;
  for (auto& e : std::filesystem::directory_iterator(files)) snapshots += e.path().extension() == ".k8";
  EXPECT_EQ(snapshots, 1u);
  // The tool has ended: the box is idle and can be looked at.
  EXPECT_EQ(bridge.Box()->firmware(), (sim::FirmwareVersion{2, 5, 0}));
}

TEST(FirmwareCliE2E, RefusesBadFilesFailedBackupsAndUnansweredQuestions) {
  test::FirmwareFixture fixture;
  // Settings that the demo parameter files cannot show as items.
  test::SimPtyBridge bridge(Box(2), [](sim::ControlBox& box) { test::FillMemory(box.memory(), 5); });
  ASSERT_TRUE(bridge.ok());
  test::WriteCliIni(fixture.dir, "[general]\nconfiguration=" SKYH_SOURCE_DIR "/demo/\n");

  // Without a terminal and without --yes the first question is answered No.
  CliRun no = RunCli(fixture.dir, "firmware '" + fixture.dir / "update.phx" + "' --type serial --port '" +
                                      bridge.Path() + "' --assets '" + fixture.dir.path() + "'");
  EXPECT_EQ(no.exitCode, 2) << no.err;
  EXPECT_NE(no.err.find("Update: ABORTED"), std::string::npos) << no.err;

  test::WriteFile(fixture.dir / "short.phx", std::string(255, '\x7F'));
  CliRun corrupted = Firmware(fixture, "short.phx", bridge.Path(), "");
  EXPECT_EQ(corrupted.exitCode, 1);
  EXPECT_NE(corrupted.err.find("short.phx\" file is corrupted"), std::string::npos) << corrupted.err;

  CliRun backup = Firmware(fixture, "update.phx", bridge.Path(), "--backup --files '" + fixture.dir / "b/" + "'");
  EXPECT_EQ(backup.exitCode, 1);
  EXPECT_NE(backup.err.find("Backup failed"), std::string::npos) << backup.err;
  EXPECT_EQ(bridge.Box()->firmware(), (sim::FirmwareVersion{2, 1, 0}));
}

}  // namespace
}  // namespace skyh
