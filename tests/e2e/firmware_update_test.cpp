// The whole firmware update against the simulated control box: in the
// process over a memory link, and as skyharvester-cli runs it over a
// pseudo-terminal.
#include "protocol/firmware_update.h"
#include "core/log_file.h"
#include "link/ccom_usb.h"
#include "protocol/firmware_recorders.h"
#include "sim_pty_bridge.h"
#include "support/box_link.h"
#include "support/fake_usb_transport.h"
#include "support/test_common.h"

namespace skyh {
namespace {

using test::BoxLink;
using test::FirmwareFixture;
using test::RecordingProgress;
using test::RecordingView;
using test::ScriptedPrompt;

constexpr uint8_t kEraseCode = 0x22, kWriteCode = 0x23, kVerifyApplication = 0x26, kVerifyBootBlock = 0x29,
                  kEndSession = 0x4B;

sim::BoxOptions Box(bool installed, uint8_t bootVersion, sim::FirmwareVersion running = {2, 1, 0}) {
  sim::BoxOptions o;
  o.firmware = running;
  o.boot = {
      .installed = installed, .version = bootVersion, .hasVersionAfterUpdate = true, .versionAfterUpdate = {2, 5, 0}};
  return o;
}

std::vector<uint8_t> Prefix(const std::vector<uint8_t>& v, size_t n) {
  return std::vector<uint8_t>(v.begin(), v.begin() + std::min(n, v.size()));
}

template <class Link = BoxLink>
struct UpdateRun {
  FirmwareFixture fixture;
  Link link;
  RecordingProgress progress;
  ScriptedPrompt prompt;
  RecordingView view;
  LinkSession session;
  CFirmwareUpdate update;

  template <class... Args>
  explicit UpdateRun(Args&&... args)
      : link(std::forward<Args>(args)...), session(link), update(session, progress, prompt, view, fixture.Options()) {
    update.SetFile(fixture.phx);
  }
  const RecordingView::Box& Summary() const { return view.boxes.back(); }
};

TEST(FirmwareUpdateE2E, FromApplicationModeWritesTheImageRebootsAndEndsWithTheNewFirmware) {
  test::TempDir logDir;  // the update's link steps are logged as the window's media steps
  SetLog(new CLogFile(logDir / "SkyHarvester.log", true));
  GetLog()->Start(true);
  UpdateRun run(Box(false, 2, {2, 1, 0}));
  ASSERT_TRUE(run.update.Start());
  EXPECT_FALSE(run.update.Start()) << "one run at a time";
  EXPECT_EQ(run.update.Join(), UpdateResult::kSuccess);

  EXPECT_EQ(run.link.box.firmware(), (sim::FirmwareVersion{2, 5, 0}));
  EXPECT_EQ(Prefix(run.link.box.applicationImage(), run.fixture.code.size()), run.fixture.code);
  // The application-mode image went first, plain and unscrambled.
  auto writes = run.link.Frames(kWriteCode);
  ASSERT_FALSE(writes.empty());
  std::vector<uint8_t> firstBlock(writes[0].payload.begin() + 3, writes[0].payload.end());
  EXPECT_EQ(firstBlock, Prefix(run.fixture.applicationImage, firstBlock.size()));
  EXPECT_EQ(run.link.Frames(kVerifyApplication).size(), 2u);
  EXPECT_EQ(run.link.Frames(kEraseCode).size(), 2u);
  EXPECT_TRUE(run.link.Frames(kVerifyBootBlock).empty());

  for (const char* text :
       {"Write code: 100%\n", "Please wait while rebooting (29s)\n", "Please wait while rebooting (139s)\n"})
    EXPECT_TRUE(run.progress.Saw(text)) << text;
  EXPECT_EQ(run.progress.texts.back(), "Update: SUCCESS");
  EXPECT_EQ(run.view.bootVersion, "2.0");
  ASSERT_EQ(run.view.boxes.size(), 2u);
  EXPECT_EQ(run.view.boxes[0].text,
            "Please connect the instrument to a 12V batterie and/or charger.\n\nPress OK to continue.");
  EXPECT_EQ(run.Summary().icon, MessageKind::Info);
  EXPECT_FALSE(run.link.IsConnected());
  EXPECT_EQ(run.link.Frames().back().command, kEndSession);
  const std::string log = test::ReadFile(logDir / "SkyHarvester.log");
  SetLog(nullptr);
  EXPECT_TRUE(test::Has(log, "Open media: OK\n") && test::Has(log, "Close media\n")) << log;
}

TEST(FirmwareUpdateE2E, RefusedBoxesAndFilesAreNotErased) {
  UpdateRun run(Box(true, 0xFF));
  EXPECT_EQ(run.update.RunUpdate(), UpdateResult::kError);
  EXPECT_TRUE(run.link.Frames(kEraseCode).empty());
  ASSERT_GE(run.view.boxes.size(), 2u);
  const auto& debug = run.view.boxes[run.view.boxes.size() - 2];
  EXPECT_EQ(debug.text, "Debug version.\nNo bootloader found : Quit");
  EXPECT_EQ(run.Summary().icon, MessageKind::Error);
  EXPECT_EQ(run.progress.texts.back(), "Update: ERROR");
  EXPECT_EQ(run.link.box.firmware(), (sim::FirmwareVersion{2, 1, 0}));

  // After the application-mode image the wake-up frames no longer get through,
  // so the box comes back running its application: nothing more is erased.
  UpdateRun app(Box(false, 2));
  const std::vector<uint8_t> wake = {0x55, 0x55, 0x00, 0x00, 0x00, 0x04};
  app.link.filter = [&](std::vector<uint8_t>& bytes) {
    if (app.link.box.applicationImage().empty()) return;
    auto at = std::search(bytes.begin(), bytes.end(), wake.begin(), wake.end());
    if (at != bytes.end()) bytes.erase(at, at + wake.size());
  };
  EXPECT_EQ(app.update.RunUpdate(), UpdateResult::kError);
  EXPECT_TRUE(app.progress.Saw("Get information error: the bootloader is not running\n"));
  EXPECT_EQ(app.link.Frames(kEraseCode).size(), 1u) << "only the application-mode image's erase";

  // A boot loader that reports no key bytes: refused, nothing erased.
  sim::BoxOptions noKeyBox = Box(true, 2);
  noKeyBox.boot.keyBytes.clear();
  UpdateRun noKey(noKeyBox);
  EXPECT_EQ(noKey.update.RunUpdate(), UpdateResult::kError);
  EXPECT_TRUE(noKey.progress.Saw("Get information error: invalid key length 0\n"));
  EXPECT_TRUE(noKey.link.Frames(kEraseCode).empty());

  // A missing image stops the update before the link is opened.
  UpdateRun missing(Box(false, 2));
  std::filesystem::remove(missing.fixture.dir / kApplicationModeImageFileName);
  EXPECT_EQ(missing.update.RunUpdate(), UpdateResult::kError);
  EXPECT_EQ(missing.link.opens, 0);
  ASSERT_EQ(missing.view.boxes.size(), 1u);
  EXPECT_NE(missing.view.boxes[0].text.find(kApplicationModeImageFileName), std::string::npos);
}

// Stopping between blocks is the worker's test; here the reboot wait.
TEST(FirmwareUpdateE2E, AStopEndsTheRebootWaitAtOnceAndABoxThatNeverComesBackIsAnError) {
  sim::BoxOptions options = Box(true, 2);
  options.boot.rebootMs = 1000000000;
  UpdateRun run(options);
  run.progress.onText = [&](const std::string& text) {
    if (text == "Please wait while rebooting (100s)\n") run.update.RequestStop();
  };
  EXPECT_EQ(run.update.RunUpdate(), UpdateResult::kAborted);
  EXPECT_FALSE(run.progress.Saw("Please wait while rebooting (99s)\n"));
  EXPECT_EQ(run.Summary().text, "Update firmware from version 2.1.0 to version 2.5.0 :\nABORTED");

  // The stop belonged to that run: the next one is not aborted (the box is
  // still away), nor one that is asked to stop before it starts.
  run.update.RequestStop();  // no run: ignored
  EXPECT_EQ(run.update.RunUpdate(), UpdateResult::kError);
  UpdateRun silent(options);
  silent.update.RequestStop();
  EXPECT_EQ(silent.update.RunUpdate(), UpdateResult::kError);
  EXPECT_EQ(silent.progress.Count("Please wait while rebooting (0s)\n"), 10u) << "the last second in 100 ms steps";
}

// Over USB the rebooting box leaves the bus shortly after the wait has opened
// the link, and comes back as a new device when it is up again.
TEST(FirmwareUpdateE2E, AUsbBoxThatLeavesTheBusWhileRebootingIsOpenedAfresh) {
  ManualClock clock;
  sim::BoxOptions options = Box(true, 2);
  options.boot.rebootMs = 20000;  // longer than any one exchange's time-out
  sim::ControlBox box(options, [&clock] { return static_cast<int64_t>(clock.NowMs()); });
  auto dev = std::make_shared<test::FakeUsbDevice>();
  dev->clock = &clock;
  int opensBeforeReboot = -1;
  dev->onHostBytes = [&](const uint8_t* data, size_t length) {
    box.Receive(data, length);
    dev->Send(box.TakeAllOutput());
    if (box.rebooting() && opensBeforeReboot < 0) opensBeforeReboot = dev->opens;
  };
  dev->beforeUse = [&] {
    if (opensBeforeReboot < 0) return;
    if (box.rebooting() && dev->present && dev->opens > opensBeforeReboot) dev->Unplug();
    if (!box.rebooting() && !dev->present) dev->Plug();
  };
  UpdateRun<CComUsb> run(std::make_unique<test::FakeUsbTransport>(dev));
  run.link.SetClock(&clock);

  EXPECT_EQ(run.update.RunUpdate(), UpdateResult::kSuccess);
  EXPECT_EQ(box.firmware(), (sim::FirmwareVersion{2, 5, 0}));
  EXPECT_EQ(dev->generation, 1) << "the box did leave the bus once";
  EXPECT_GT(dev->opens, opensBeforeReboot + 1) << "opened again after coming back";
  EXPECT_TRUE(run.progress.Saw("Please wait while rebooting (139s)\n"));
  EXPECT_FALSE(run.progress.Saw("Please wait while rebooting (100s)\n")) << "answered as soon as it was back";
  EXPECT_EQ(dev->overlapped, 0);
}

TEST(FirmwareUpdateE2E, VersionQuestionsAndAnsweringNo) {
  const std::string first = "Warning|Would you like to update the firmware of your instrument?";
  const struct {
    sim::FirmwareVersion running;
    std::deque<bool> answers;
    UpdateResult result;
    std::string second;  // the version question, when asked
  } cases[] = {
      {{2, 5, 0}, {true, false}, UpdateResult::kAborted, "is equal to the Photometer's firmware 2.5.0"},
      {{3, 0, 0}, {}, UpdateResult::kSuccess, "is older than the Photometer's firmware 3.0.0"},
      {{2, 4, 255}, {false}, UpdateResult::kAborted, ""},
  };
  for (const auto& c : cases) {
    UpdateRun run(Box(true, 2, c.running));
    run.prompt.answers = c.answers;
    EXPECT_EQ(run.update.RunUpdate(), c.result) << c.second;
    ASSERT_EQ(run.prompt.questions.size(), c.second.empty() ? 1u : 2u);
    EXPECT_EQ(run.prompt.questions[0], first);
    if (!c.second.empty()) {
      EXPECT_EQ(run.prompt.questions[1],
                "Warning|The new firmware 2.5.0 " + c.second + ".\n\nDo you want to continue?");
    }
    if (c.result == UpdateResult::kAborted) {
      EXPECT_TRUE(run.link.Frames(kEraseCode).empty());
      EXPECT_EQ(run.progress.texts.back(), "Update: ABORTED");
    }
  }
}

TEST(FirmwareUpdateE2E, AnUpdateWaitsForTheLinkAndLeavesABusyLinkAlone) {
  UpdateRun run(Box(true, 2));
  ManualClock clock;
  run.session.SetClock(&clock);
  {
    LinkLease retrieval = run.session.Acquire(0, false);  // another user holds the link
    ASSERT_TRUE(retrieval);
    EXPECT_EQ(run.update.RunUpdate(), UpdateResult::kError);
    EXPECT_TRUE(run.link.written.empty());
    EXPECT_EQ(run.progress.texts.back(), LinkBusyText());
  }
  // Once free, the lock is held for the run and given back.
  EXPECT_EQ(run.update.RunUpdate(), UpdateResult::kSuccess);
  EXPECT_TRUE(run.session.Acquire(0, false));
}

TEST(FirmwareCliE2E, RefusesBadFilesFailedBackupsAndUnansweredQuestionsThenBacksUpAndUpdatesBootLoaderZero) {
  test::FirmwareFixture fixture;
  sim::BoxOptions options = Box(true, 0);
  options.boot.rebootMs = 300;
  // Settings that the demo parameter files cannot show as items.
  test::CliBox cli(options, [](sim::ControlBox& box) { test::FillMemory(box.memory(), 5); });
  auto firmware = [&](const std::string& file, const std::string& more, int exitCode) {
    return cli.Run("firmware '" + fixture.dir / file + "' --type serial --assets '" + fixture.dir.path() + "' " + more,
                   exitCode);
  };

  // Without a terminal and without --yes the first question is answered No.
  EXPECT_TRUE(test::Has(firmware("update.phx", "", 2).err, "Update: ABORTED"));
  test::WriteFile(fixture.dir / "short.phx", std::string(255, '\x7F'));
  EXPECT_TRUE(test::Has(firmware("short.phx", "--yes", 1).err, "short.phx\" file is corrupted"));
  const std::string files = fixture.dir / "backup/";
  EXPECT_TRUE(
      test::Has(firmware("update.phx", "--yes --backup --files '" + files + "failed/'", 1).err, "Backup failed"));
  EXPECT_EQ(cli.bridge.Box()->firmware(), (sim::FirmwareVersion{2, 1, 0}));

  test::Demo(1)(*cli.bridge.BoxBetweenRuns());
  test::CliRun run = firmware("update.phx", "--yes --backup --files '" + files + "'", 0);
  for (const std::string& said :
       std::vector<std::string>{"File version: 2.5.0\nFile size: 19 Kbytes\n", "Firmware version: 2.1.0\n",
                                "Bootloader version: 0.0\n", "Settings saved: " + files + "Settings_1234.set",
                                "Update firmware from version 2.1.0 to version 2.5.0 :\nSUCCESS"})
    EXPECT_TRUE(test::Has(run.out + run.err, said)) << said << run.out << run.err;
  EXPECT_TRUE(test::Has(test::ReadFile(files + "Settings_1234.set"), "[Settings]"));
  EXPECT_EQ(test::FilesMatching(files, ".*\\.k8").size(), 1u);
  // The tool has ended: the box is idle and can be looked at. A boot loader
  // of version 0 gets the boot block first.
  EXPECT_EQ(cli.bridge.Box()->firmware(), (sim::FirmwareVersion{2, 5, 0}));
  EXPECT_EQ(Prefix(cli.bridge.Box()->bootBlockImage(), kBootBlockSize), fixture.bootBlock);
  EXPECT_EQ(Prefix(cli.bridge.Box()->applicationImage(), fixture.code.size()), fixture.code);
}

}  // namespace
}  // namespace skyh
