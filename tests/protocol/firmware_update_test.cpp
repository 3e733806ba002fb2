// The update's block writing and boot information, step by step.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "protocol/firmware_blocks.h"
#include "support/box_link.h"
#include "protocol/firmware_recorders.h"
#include "protocol/firmware_update.h"

namespace skyh {
namespace {

using test::BoxLink;
using test::RecordingProgress;
using test::RecordingView;
using test::ScriptedPrompt;

constexpr uint8_t kWriteCode = 0x23;

struct Steps {
  BoxLink link;
  RecordingProgress progress;
  ScriptedPrompt prompt;
  RecordingView view;
  CFirmwareUpdate update{link, progress, prompt, view, {}};

  explicit Steps(sim::BoxOptions options) : link(std::move(options)) {
    link.Open();
    link.SendBootloaderWake();
  }
};

sim::BoxOptions BootLoader(uint16_t blockSize, std::vector<uint8_t> key) {
  sim::BoxOptions o;
  o.boot.blockSize = blockSize;
  o.boot.keyBytes = std::move(key);
  return o;
}

TEST(FirmwareUpdateSteps, ErasedBlocksAreSkippedButCountedAndThePaddingStaysUnscrambled) {
  const std::vector<uint8_t> key = {0x11, 0x92, 0x03, 0xE4, 0x35};
  Steps s(BootLoader(300, key));
  ASSERT_EQ(s.update.ReadBootInfo(), kUpdateSuccess);
  ASSERT_EQ(s.update.BlockSize(), 256);

  // Block 1 is chosen so that it is all 0xFF once scrambled.
  const size_t length = 3 * 256 + 100;
  std::vector<uint8_t> image = test::PatternBytes(length, 9);
  uint16_t state = key.back();
  std::vector<uint8_t> stream(256, 0);
  ScrambleBlock(state, stream.data(), 256, key.data(), 5);  // block 0
  std::fill(stream.begin(), stream.end(), 0);
  ScrambleBlock(state, stream.data(), 256, key.data(), 5);  // block 1
  for (size_t i = 0; i < 256; ++i) image[256 + i] = static_cast<uint8_t>(0xFF ^ stream[i]);

  ASSERT_EQ(s.update.WriteImage(image.data(), length, false, true), kUpdateSuccess);
  auto writes = s.link.Frames(kWriteCode);
  ASSERT_EQ(writes.size(), 3u);
  auto address = [](const test::SentFrame& f) { return f.payload[0] << 16 | f.payload[1] << 8 | f.payload[2]; };
  EXPECT_EQ(address(writes[0]), 0);
  EXPECT_EQ(address(writes[1]), 512);
  EXPECT_EQ(address(writes[2]), 768);
  EXPECT_TRUE(s.progress.Saw("Write code: 58%\n")) << "the skipped block still moves the progress";
  EXPECT_TRUE(s.progress.Saw("Write code: 100%\n"));
  EXPECT_TRUE(s.progress.Saw("Write checksum..."));

  // The last block: 100 scrambled bytes, then 0xFF as it is.
  const std::vector<uint8_t>& last = writes[2].payload;
  ASSERT_EQ(last.size(), 259u);
  EXPECT_NE(std::vector<uint8_t>(last.begin() + 3, last.begin() + 103),
            std::vector<uint8_t>(image.begin() + 768, image.end()));
  EXPECT_TRUE(std::all_of(last.begin() + 103, last.end(), [](uint8_t b) { return b == 0xFF; }));
  // The box, undoing the same stream, holds the image (but for the block it never got).
  std::vector<uint8_t> held = s.link.box.codeFlash().Image(length);
  EXPECT_TRUE(std::equal(image.begin(), image.begin() + 256, held.begin()));
  EXPECT_TRUE(std::equal(image.begin() + 512, image.end(), held.begin() + 512));
}

TEST(FirmwareUpdateSteps, BootInformationMustCarryAUsableKey) {
  {
    Steps s(BootLoader(2048, std::vector<uint8_t>(300, 7)));
    EXPECT_EQ(s.update.ReadBootInfo(), kUpdateError);
    EXPECT_TRUE(s.progress.Saw("Get information error: invalid key length 300\n"));
  }
  {
    Steps s(BootLoader(5000, std::vector<uint8_t>(256, 7)));
    EXPECT_EQ(s.update.ReadBootInfo(), kUpdateSuccess);
    EXPECT_EQ(s.update.BlockSize(), 2048);
    EXPECT_EQ(s.view.bootVersion, "2.0");
  }
  {
    // The application answers mode 0 with no key: fine until something is scrambled.
    sim::BoxOptions app = BootLoader(1024, {1, 2, 3});
    app.boot.installed = false;
    Steps s(app);
    EXPECT_EQ(s.update.ReadBootInfo(), kUpdateSuccess);
    EXPECT_EQ(s.update.BootMode(), 0);
  }
  {
    // A silent box: the step's error with the result code.
    Steps s(BootLoader(1024, {1}));
    s.link.Close();
    EXPECT_EQ(s.update.ReadBootInfo(), kUpdateError);
    EXPECT_TRUE(s.progress.Saw("Get information error: 4\n"));
    EXPECT_EQ(s.update.ReadDeviceVersion(), kUpdateError);
    EXPECT_TRUE(s.progress.Saw("Get firmware version: 4\n"));
  }
}

TEST(FirmwareUpdateSteps, WriteImageRefusesNothingAndTooLargeImagesBeforeErasing) {
  Steps s(BootLoader(1024, {1, 2, 3}));
  ASSERT_EQ(s.update.ReadBootInfo(), kUpdateSuccess);
  EXPECT_EQ(s.update.WriteImage(nullptr, 100, false, false), kUpdateError);
  std::vector<uint8_t> image(16);
  EXPECT_EQ(s.update.WriteImage(image.data(), 0, false, false), kUpdateError);
  // Addresses have three bytes: beyond 16 MiB the blocks would land on the start again.
  EXPECT_EQ(s.update.WriteImage(image.data(), CFirmwareUpdate::kMaxImageLength + 1, false, false), kUpdateError);
  EXPECT_TRUE(s.link.Frames(0x22).empty());
  // Decrypting without a key (none loaded outside a run) fails before erasing too.
  EXPECT_EQ(s.update.WriteImage(image.data(), image.size(), true, true), kUpdateError);
  EXPECT_TRUE(s.link.Frames(0x22).empty());
}

}  // namespace
}  // namespace skyh

namespace skyh {
namespace {

// Holds the worker at its first block, then lets the test act.
struct HeldRun {
  test::FirmwareFixture fixture;
  BoxLink link;
  RecordingProgress progress;
  ScriptedPrompt prompt;
  RecordingView view;
  std::mutex mutex;
  std::condition_variable erased;
  bool sawErase = false;

  HeldRun() {
    progress.onText = [this](const std::string& text) {
      if (text != "Erase code") return;
      std::lock_guard<std::mutex> lock(mutex);
      sawErase = true;
      erased.notify_all();
    };
  }
  void WaitForErase() {
    std::unique_lock<std::mutex> lock(mutex);
    erased.wait(lock, [this] { return sawErase; });
  }
};

TEST(FirmwareUpdateWorker, PauseHoldsTheWorkerBetweenBlocksAndStopEndsTheRun) {
  HeldRun run;
  CFirmwareUpdate update(run.link, run.progress, run.prompt, run.view, run.fixture.Options());
  update.SetFile(run.fixture.phx);
  update.Pause();  // the Cancel question is open
  ASSERT_TRUE(update.Start());
  run.WaitForErase();
  EXPECT_TRUE(update.Running());
  update.RequestStop();  // answered Yes
  update.Resume();
  EXPECT_EQ(update.Join(), kUpdateAborted);
  EXPECT_FALSE(update.Running());
  // Held before the first block: that block goes out, then the stop is seen.
  EXPECT_EQ(run.link.Frames(kWriteCode).size(), 1u);
  EXPECT_EQ(run.progress.texts.back(), "Update: ABORTED");
  EXPECT_FALSE(run.link.IsConnected());
}

TEST(FirmwareUpdateWorker, ClosingWhileAnUpdateRunsStopsItAndWaitsForTheWorker) {
  HeldRun run;
  {
    CFirmwareUpdate update(run.link, run.progress, run.prompt, run.view, run.fixture.Options());
    update.SetFile(run.fixture.phx);
    update.Pause();
    ASSERT_TRUE(update.Start());
    run.WaitForErase();
  }  // the dialog closes
  // The worker has ended: its summary and the closed link are there.
  EXPECT_EQ(run.progress.texts.back(), "Update: ABORTED");
  EXPECT_FALSE(run.link.IsConnected());
  EXPECT_EQ(run.link.Frames(kWriteCode).size(), 1u);
}

TEST(FirmwareUpdateWorker, StartNeedsAFile) {
  HeldRun run;
  CFirmwareUpdate update(run.link, run.progress, run.prompt, run.view, run.fixture.Options());
  EXPECT_FALSE(update.Start());
  EXPECT_EQ(update.Join(), -1);
  EXPECT_EQ(update.RunUpdate(), kUpdateError);
  ASSERT_EQ(run.view.boxes.size(), 1u);
  EXPECT_EQ(run.view.boxes[0].text, "Choose a file first");
  EXPECT_TRUE(run.link.written.empty());
}

}  // namespace
}  // namespace skyh
