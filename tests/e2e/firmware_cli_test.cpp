// skyharvester-cli firmware as a user runs it, against the simulated box on a
// pseudo-terminal.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "protocol/firmware_recorders.h"
#include "demo_instrument.h"
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

TEST(FirmwareCliE2E, UpdatesTheBoxFromABootLoaderOfVersionZero) {
  test::FirmwareFixture fixture;
  test::SimPtyBridge bridge(Box(0));
  ASSERT_TRUE(bridge.ok());
  std::string common = "--type serial --port '" + bridge.Path() + "' --assets '" + fixture.dir.path() + "'";
  CliRun run = RunCli(fixture.dir, "firmware '" + fixture.dir / "update.phx" + "' --yes --no-backup " + common);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("File version: 2.5.0\nFile size: 19 Kbytes\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Firmware version: 2.1.0\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Bootloader version: 0.0\n"), std::string::npos) << run.out;
  EXPECT_NE(run.err.find("Update: SUCCESS\n"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("Update firmware from version 2.1.0 to version 2.5.0 :\nSUCCESS"), std::string::npos);
  // The tool has ended: the box is idle and can be looked at.
  const sim::ControlBox& box = bridge.Box();
  EXPECT_EQ(box.firmware(), (sim::FirmwareVersion{2, 5, 0}));
  std::vector<uint8_t> image = box.applicationImage();
  image.resize(fixture.code.size());
  EXPECT_EQ(image, fixture.code);
  std::vector<uint8_t> boot = box.bootBlockImage();
  boot.resize(kBootBlockSize);
  EXPECT_EQ(boot, fixture.bootBlock);
}

TEST(FirmwareCliE2E, RefusesBadFilesMissingImagesAndUnansweredQuestions) {
  test::FirmwareFixture fixture;
  test::SimPtyBridge bridge(Box(2));
  ASSERT_TRUE(bridge.ok());
  std::string common = "--type serial --port '" + bridge.Path() + "' --assets '" + fixture.dir.path() + "'";

  // Without a terminal and without --yes the first question is answered No.
  CliRun no = RunCli(fixture.dir, "firmware '" + fixture.dir / "update.phx" + "' " + common);
  EXPECT_EQ(no.exitCode, 2) << no.err;
  EXPECT_NE(no.err.find("Update: ABORTED"), std::string::npos) << no.err;

  test::WriteFile(fixture.dir / "short.phx", std::string(255, '\x7F'));
  CliRun corrupted = RunCli(fixture.dir, "firmware '" + fixture.dir / "short.phx" + "' --yes " + common);
  EXPECT_EQ(corrupted.exitCode, 1);
  EXPECT_NE(corrupted.err.find("short.phx\" file is corrupted"), std::string::npos) << corrupted.err;

  std::filesystem::remove(fixture.dir / kBootBlockFileName);
  const int commandsBefore = bridge.Box().counters().commands;
  CliRun missing = RunCli(fixture.dir, "firmware '" + fixture.dir / "update.phx" + "' --yes " + common);
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find(kBootBlockFileName), std::string::npos) << missing.err;
  EXPECT_EQ(bridge.Box().counters().commands, commandsBefore) << "nothing sent";
  EXPECT_FALSE(bridge.Box().codeFlash().erased());

  CliRun usage = RunCli(fixture.dir, "firmware");
  EXPECT_EQ(usage.exitCode, 1);
}

TEST(FirmwareCliE2E, BackupRetrievesTheRecordsAndSavesTheSettingsFirst) {
  test::FirmwareFixture fixture;
  test::SimPtyBridge bridge(Box(2), [](sim::ControlBox& box) {
    sim::DemoOptions demo;
    demo.days = 1;
    sim::GenerateDemoMemory(demo, box.memory());
    box.memory().SortByTime();
  });
  ASSERT_TRUE(bridge.ok());
  test::WriteCliIni(fixture.dir, "[general]\nconfiguration=" SKYH_SOURCE_DIR "/demo/\n[communication]\ntype=1\nport=" +
                                     bridge.Path() + "\n");
  const std::string files = fixture.dir / "backup/";
  CliRun run = RunCli(fixture.dir, "firmware '" + fixture.dir / "update.phx" + "' --yes --backup --files '" + files +
                                       "' --assets '" + fixture.dir.path() + "'");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("Settings saved: " + files + "Settings_1234.set"), std::string::npos) << run.out;
  EXPECT_NE(test::ReadFile(files + "Settings_1234.set").find("[Settings]"), std::string::npos);
  size_t snapshots = 0;
  for (auto& e : std::filesystem::directory_iterator(files)) snapshots += e.path().extension() == ".k8";
  EXPECT_EQ(snapshots, 1u);
  EXPECT_EQ(bridge.Box().firmware(), (sim::FirmwareVersion{2, 5, 0}));

  // A box whose settings cannot be read as items is not updated.
  test::SimPtyBridge empty(Box(2), [](sim::ControlBox& box) { test::FillMemory(box.memory(), 5); });
  ASSERT_TRUE(empty.ok());
  run = RunCli(fixture.dir, "firmware '" + fixture.dir / "update.phx" + "' --yes --backup --port '" + empty.Path() +
                                "' --files '" + files + "' --assets '" + fixture.dir.path() + "'");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("Backup failed"), std::string::npos) << run.err;
  EXPECT_EQ(empty.Box().firmware(), (sim::FirmwareVersion{2, 1, 0}));
}

}  // namespace
}  // namespace skyh
