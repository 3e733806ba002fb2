// Block helpers, the firmware assets, and the update's steps and worker.
#include <condition_variable>
#include <mutex>
#include <tuple>

#include "protocol/firmware_blocks.h"
#include "protocol/firmware_recorders.h"
#include "support/box_link.h"
#include "support/test_common.h"

namespace skyh {
namespace {

using test::BoxLink;
using test::RecordingProgress;
using test::RecordingView;
using test::ScriptedPrompt;
using Bytes = std::vector<uint8_t>;

constexpr uint8_t kWriteCode = 0x23;

TEST(FirmwareBlocks, BlockSizesScramblingWithoutKeyBytesAndErasedBlocks) {
  const std::pair<uint16_t, uint16_t> cases[] = {{600, 512},   {100, 256},   {0, 256},     {1023, 512},
                                                 {1024, 1024}, {2047, 1024}, {65535, 2048}};
  for (auto [reported, size] : cases) EXPECT_EQ(RoundBlockSize(reported), size) << reported;

  // The key stream itself is checked by the simulated box, which undoes it
  // on its own, holding the image after an update.
  Bytes small = {1, 2, 3};
  uint16_t state = 7;
  ScrambleBlock(state, small.data(), 3, nullptr, 0);
  ScrambleBlock(state, small.data(), 3, small.data(), -5);
  EXPECT_TRUE(small == (Bytes{1, 2, 3}) && state == 7);
  Bytes erased(256, 0xFF);
  EXPECT_TRUE(IsErasedBlock(erased.data(), erased.size()));
  erased[255] = 0xFE;
  EXPECT_FALSE(IsErasedBlock(erased.data(), erased.size()));
}

TEST(FirmwareBlocks, AssetsOfTheWrongSizeAreRefused) {
  test::TempDir dir;
  FirmwareAssets assets;
  std::string error;
  test::WriteFile(dir / kApplicationModeImageFileName, std::string(46320, 'a'));
  // {key bytes, boot block bytes, what the error names}
  for (auto [key, boot, named] : {std::tuple{33, 4096, std::string(kFirmwareKeyFileName)},
                                  std::tuple{32, 4095, std::string(kBootBlockFileName) + "\" has 4095"}}) {
    test::WriteFile(dir / kFirmwareKeyFileName, std::string(size_t(key), 'k'));
    test::WriteFile(dir / kBootBlockFileName, std::string(size_t(boot), 'b'));
    EXPECT_FALSE(LoadFirmwareAssets(dir.path(), assets, error));
    EXPECT_NE(error.find(named), std::string::npos) << error;
  }
  // A folder named without its closing slash.
  test::WriteFile(dir / kBootBlockFileName, std::string(4096, 'b'));
  EXPECT_TRUE(LoadFirmwareAssets(dir.path().substr(0, dir.path().size() - 1), assets, error)) << error;
}

// An update object on a simulated boot loader, woken and ready for its steps.
struct Steps {
  BoxLink link;
  RecordingProgress progress;
  ScriptedPrompt prompt;
  RecordingView view;
  LinkSession session{link};
  CFirmwareUpdate update{session, progress, prompt, view, {}};

  Steps(uint16_t blockSize, Bytes key)
      : link([&] {
          sim::BoxOptions o;
          o.boot.blockSize = blockSize;
          o.boot.keyBytes = std::move(key);
          return o;
        }()) {
    link.Open();
    link.SendBootloaderWake();
  }
};

TEST(FirmwareUpdateSteps, ErasedBlocksAreSkippedButCountedAndThePaddingStaysUnscrambled) {
  const Bytes key = {0x11, 0x92, 0x03, 0xE4, 0x35};
  Steps s(300, key);
  ASSERT_EQ(s.update.ReadBootInfo(), UpdateResult::kSuccess);
  ASSERT_EQ(s.update.BlockSize(), 256);

  // Block 1 is chosen so that it is all 0xFF once scrambled.
  const size_t length = 3 * 256 + 100;
  Bytes image = test::PatternBytes(length, 9);
  uint16_t state = key.back();
  Bytes stream(256, 0);
  ScrambleBlock(state, stream.data(), 256, key.data(), 5);  // block 0
  std::fill(stream.begin(), stream.end(), 0);
  ScrambleBlock(state, stream.data(), 256, key.data(), 5);  // block 1
  for (size_t i = 0; i < 256; ++i) image[256 + i] = static_cast<uint8_t>(0xFF ^ stream[i]);

  ASSERT_EQ(s.update.WriteImage(image.data(), length, false, true), UpdateResult::kSuccess);
  auto writes = s.link.Frames(kWriteCode);
  ASSERT_EQ(writes.size(), 3u);
  EXPECT_EQ(writes[1].payload[1], 2) << "block 1 skipped: the next starts at 512";
  EXPECT_TRUE(s.progress.Saw("Write code: 58%\n")) << "the skipped block still moves the progress";

  // The last block: 100 scrambled bytes, then 0xFF as it is.
  const Bytes& last = writes[2].payload;
  ASSERT_EQ(last.size(), 259u);
  EXPECT_NE(Bytes(last.begin() + 3, last.begin() + 103), Bytes(image.begin() + 768, image.end()));
  EXPECT_TRUE(std::all_of(last.begin() + 103, last.end(), [](uint8_t b) { return b == 0xFF; }));
  // The box, undoing the same stream, holds the image (but for the block it never got).
  Bytes held = s.link.box.codeFlash().Image(length);
  EXPECT_TRUE(std::equal(image.begin(), image.begin() + 256, held.begin()));
  EXPECT_TRUE(std::equal(image.begin() + 512, image.end(), held.begin() + 512));
}

TEST(FirmwareUpdateSteps, BadBootInformationAndImagesStopBeforeErasing) {
  {
    Steps s(2048, Bytes(300, 7));
    EXPECT_EQ(s.update.ReadBootInfo(), UpdateResult::kError);
    EXPECT_TRUE(s.progress.Saw("Get information error: invalid key length 300\n"));
  }
  {
    Steps s(1024, {1});
    s.link.Close();
    EXPECT_EQ(s.update.ReadBootInfo(), UpdateResult::kError);
    EXPECT_TRUE(s.progress.Saw("Get information error: 4\n"));
    EXPECT_EQ(s.update.ReadDeviceVersion(), UpdateResult::kError);
    EXPECT_TRUE(s.progress.Saw("Get firmware version: 4\n"));
  }
  Steps s(1024, {1, 2, 3});
  ASSERT_EQ(s.update.ReadBootInfo(), UpdateResult::kSuccess);
  Bytes image(16);
  // Addresses have three bytes: beyond 16 MiB the blocks would land on the start again.
  EXPECT_EQ(s.update.WriteImage(image.data(), CFirmwareUpdate::kMaxImageLength + 1, false, false), UpdateResult::kError);
  // Decrypting without a key (none loaded outside a run).
  EXPECT_EQ(s.update.WriteImage(image.data(), image.size(), true, true), UpdateResult::kError);
  EXPECT_TRUE(s.link.Frames(0x22).empty());
}

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
  // Starts `update` paused (the Cancel question is open) and waits for its erase.
  void StartHeld(CFirmwareUpdate& update) {
    update.SetFile(fixture.phx);
    update.Pause();
    ASSERT_TRUE(update.Start());
    std::unique_lock<std::mutex> lock(mutex);
    erased.wait(lock, [this] { return sawErase; });
  }
  // Held before the first block: that block goes out, then the stop is seen.
  void ExpectAborted() {
    EXPECT_TRUE(progress.texts.back() == "Update: ABORTED" && link.Frames(kWriteCode).size() == 1);
  }
};

TEST(FirmwareUpdateWorker, PauseHoldsTheWorkerBetweenBlocksAndStopOrClosingEndsTheRun) {
  HeldRun run;
  LinkSession session(run.link);
  CFirmwareUpdate update(session, run.progress, run.prompt, run.view, run.fixture.Options());
  EXPECT_FALSE(update.Start()) << "no file yet";
  EXPECT_EQ(update.RunUpdate(), UpdateResult::kError);
  ASSERT_EQ(run.view.boxes.size(), 1u);
  EXPECT_EQ(run.view.boxes[0].text, "Choose a file first");

  run.StartHeld(update);
  EXPECT_TRUE(update.Running());
  update.RequestStop();  // answered Yes
  update.Resume();
  EXPECT_EQ(update.Join(), UpdateResult::kAborted);
  run.ExpectAborted();

  // Closing the dialog while the update runs stops it and waits for the worker.
  HeldRun closed;
  {
    LinkSession session(closed.link);
    CFirmwareUpdate held(session, closed.progress, closed.prompt, closed.view, closed.fixture.Options());
    closed.StartHeld(held);
  }
  closed.ExpectAborted();
}

}  // namespace
}  // namespace skyh
