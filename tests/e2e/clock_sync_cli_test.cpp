// skyharvester-cli retrieve with the clock check guarded by the computer's
// clock synchronisation, against the simulated box on a pseudo-terminal.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "core/clock_sync.h"
#include "sim_pty_bridge.h"
#include "support/cli_run.h"
#include "support/temp_dir.h"

namespace skyh {
namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(ClockSyncCliE2E, TheGuardFollowsTheKernelAndTimeSetAlwaysSends) {
  sim::BoxOptions options;
  options.clockOffsetSeconds = 7200;
  test::SimPtyBridge bridge(options, [](sim::ControlBox& box) { test::FillMemory(box.memory(), 3); });
  ASSERT_TRUE(bridge.ok());
  test::TempDir home;
  test::WriteCliIni(home, "[general]\nconfiguration=" SKYH_SOURCE_DIR "/demo/\n[communication]\ntype=1\nport=" +
                              bridge.Path() + "\nlog=1\nAutoSetTime=1\nretrieve_limited=0\nretrieve_missing=0\n");
  const std::string why = "Computer clock not synchronised: the photometer's clock was left unchanged.";
  const std::string logPath = home / "Documents/SkyHarvester/SkyHarvester.log";

  // This machine's kernel decides; either way the run succeeds.
  const bool synchronised = ComputerClockSynchronised();
  test::CliRun guarded = test::RunCli(home, "retrieve --clock-needs-sync");
  ASSERT_EQ(guarded.exitCode, 0) << guarded.err;
  if (synchronised) {
    EXPECT_LE(std::llabs(bridge.Box()->clockOffsetSeconds()), 2);
    EXPECT_FALSE(Has(test::ReadFile(logPath), why));
  } else {
    EXPECT_EQ(bridge.Box()->clockOffsetSeconds(), 7200);
    EXPECT_TRUE(Has(test::ReadFile(logPath), why)) << test::ReadFile(logPath);
  }

  // Off (the default): the clock is set as before.
  test::CliRun plain = test::RunCli(home, "retrieve");
  ASSERT_EQ(plain.exitCode, 0) << plain.err;
  EXPECT_LE(std::llabs(bridge.Box()->clockOffsetSeconds()), 2);

  // The key reads like the option; an explicit time set always goes out.
  test::WriteCliIni(home, "[communication]\ntype=1\nport=" + bridge.Path() + "\nAutoSetTimeNeedsSync=1\n");
  test::CliRun show = test::RunCli(home, "config show");
  EXPECT_TRUE(Has(show.out, "communication/AutoSetTimeNeedsSync = 1\n")) << show.out;
  test::CliRun set = test::RunCli(home, "time set 2030-01-02 03:04:05");
  EXPECT_EQ(set.exitCode, 0) << set.err;
  EXPECT_GT(bridge.Box()->clockOffsetSeconds(), 86400);
}

}  // namespace
}  // namespace skyh
