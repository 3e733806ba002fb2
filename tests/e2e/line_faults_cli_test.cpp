// skyharvester-cli over lines that are hard on the protocol: a half-duplex
// adapter that echoes every request, and a slow 9600-baud line with long
// replies and long requests. The simulated box serves a pseudo-terminal.
#include "demo_instrument.h"
#include "protocol/firmware_recorders.h"
#include "sim_pty_bridge.h"
#include "support/test_common.h"

namespace skyh {
namespace {

using test::Has;

// Retrieves every record of a box with `options` and `setUp` and checks the
// one snapshot holds them.
std::unique_ptr<test::CliBox> RetrieveAll(const sim::BoxOptions& options,
                                          const std::function<void(sim::ControlBox&)>& setUp) {
  auto cli = std::make_unique<test::CliBox>(options, setUp, "retrieve_limited=0\nretrieve_missing=0\n");
  test::CliRun run = cli->Run("retrieve", 0);
  EXPECT_TRUE(Has(run.out, "Records: " + std::to_string(cli->BoxSize()) + " ")) << run.out;
  const auto snapshots = cli->Snapshots();
  EXPECT_TRUE(snapshots.size() == 1 && test::K8Records(snapshots[0]) == test::NewestFirst(*cli->bridge.Box()));
  return cli;
}

TEST(LineFaultsCli, DeadBoxBehindAnEchoingLineFailsEveryCommand) {
  // The adapter hands every request back and the box never answers.
  test::CliBox cli(test::BoxWith([](auto& o) { o.faults = {.silentAfterReplies = 0, .echoRequests = true}; }),
                   [](sim::ControlBox& box) { test::FillMemory(box.memory(), 5); });
  // Each command fails and never claims the success an echo could fake
  // ("time get" prints nothing).
  std::string said;
  for (auto [command, success] : {std::pair{"clear-flash --yes", "Clear flash memory success"},
                                  {"time set 2025-03-07 14:05:09", "Set time/date ok"},
                                  {"time get", ""},
                                  {"retrieve", "Retrieve data OK"}}) {
    test::CliRun run = cli.Run(command);
    EXPECT_NE(run.exitCode, 0) << command;
    EXPECT_TRUE(*success ? !Has(run.out + run.err, success) : run.out.empty()) << run.out << run.err;
    said += run.out + run.err;
  }
  EXPECT_TRUE(Has(said, "Get settings error: 2")) << said;
  EXPECT_EQ(cli.BoxSize(), 5u);
}

TEST(LineFaultsCli, LiveBoxBehindAnEchoingLineGivesEveryRecordOnce) {
  auto cli = RetrieveAll(test::BoxWith([](auto& o) { o.faults.echoRequests = true; }), test::Demo(1, 30));
  // The box's own commands too, each learning the line anew.
  test::CliRun clear = cli->Run("clear-flash --yes");
  EXPECT_EQ(clear.out, "Clear flash memory success\n") << clear.err;
  EXPECT_EQ(cli->BoxSize(), 0u);
}

TEST(LineFaultsCli, A2000ByteRecordSecondFromTheTopArrivesAt9600Baud) {
  // Its 4012-byte reply frame takes 4.2 s, longer than the 3 s time-out.
  auto cli = RetrieveAll(test::BoxWith([](auto& o) { o.baud = 9600; }), [](sim::ControlBox& box) {
    const int64_t t = 1764547200;  // 2025-12-01
    box.memory().SetSettings(sim::MakeDemoSettingsRecord(1234, t));
    const size_t sizes[] = {30, 40, 2000, 30};  // oldest first
    for (size_t i = 0; i < 4; ++i)
      box.memory().Append(sim::MakeRecord(sim::kDemoUnknownType, sim::PackTime(t + 600 * int64_t(i)),
                                          std::vector<uint8_t>(sizes[i], uint8_t(0x30 + i))));
  });
  EXPECT_GT(test::K8Records(cli->Snapshots().at(0)).at(1).size(), 2000u);
}

TEST(LineFaultsCli, FirmwareUpdateWith2048ByteBlocksAt9600BaudSucceeds) {
  test::FirmwareFixture fixture;
  // Two blocks are enough: each WriteCode frame is 4112 bytes, 4.3 s on the line.
  fixture.MakePhx(test::PatternBytes(4096, 4), {2, 5, 0});
  sim::BoxOptions options;
  options.baud = 9600;
  options.boot = {.blockSize = 2048, .rebootMs = 300, .hasVersionAfterUpdate = true, .versionAfterUpdate = {2, 5, 0}};
  test::CliBox cli(options, [](sim::ControlBox& box) { test::FillMemory(box.memory(), 3); });
  test::CliRun run =
      cli.Run("firmware '" + fixture.dir / "update.phx" + "' --yes --no-backup --assets '" + fixture.dir.path() + "'");
  EXPECT_TRUE(Has(run.err, "Update firmware from version 2.1.0 to version 2.5.0 :\nSUCCESS")) << run.err;
  EXPECT_FALSE(Has(run.err, "Write checksum error")) << run.err;
  EXPECT_EQ(cli.bridge.Box()->firmware(), (sim::FirmwareVersion{2, 5, 0}));
}

}  // namespace
}  // namespace skyh
