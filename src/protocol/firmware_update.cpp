#include "protocol/firmware_update.h"

#include <algorithm>
#include <optional>

#include "core/format.h"
#include "core/log_file.h"
#include "link/ccom.h"
#include "protocol/aes_cbc.h"
#include "protocol/firmware_blocks.h"

namespace skyh {

namespace {

int Percent(uint64_t position, uint64_t range) {
  if (range == 0) return 0;
  return static_cast<int>(std::min<uint64_t>(position, range) * 100 / range);
}

}  // namespace

const char* UpdateResultText(UpdateResult result) {
  switch (result) {
    case UpdateResult::kSuccess: return "SUCCESS";
    case UpdateResult::kError: return "ERROR";
    case UpdateResult::kAborted: return "ABORTED";
    default: return "UNKNOWN";
  }
}

CFirmwareUpdate::CFirmwareUpdate(LinkSession& session, IProgressSink& progress, IPrompt& prompt,
                                 IFirmwareView& view, FirmwareUpdateOptions options)
    : session(session), link(session.Active()), progress(progress), prompt(prompt), view(view), options(std::move(options)) {}

CFirmwareUpdate::~CFirmwareUpdate() {
  RequestStop();
  Resume();
  Join();
}

bool CFirmwareUpdate::Start() {
  if (phx.fileCode.empty()) return false;
  return worker.Start([this] {
    SetStatus("Please wait...");
    workerResult = RunUpdate();
  });
}

std::optional<UpdateResult> CFirmwareUpdate::Join() {
  worker.Join();
  return workerResult;
}

void CFirmwareUpdate::Pause() {
  std::lock_guard<std::mutex> lock(stopMutex);
  paused = true;
}

void CFirmwareUpdate::Resume() {
  {
    std::lock_guard<std::mutex> lock(stopMutex);
    paused = false;
  }
  stopSignal.notify_all();
}

void CFirmwareUpdate::RequestStop() {
  {
    std::lock_guard<std::mutex> lock(stopMutex);
    // A closed event is never signalled: the next run starts clean.
    if (!stopEventOpen) return;
    stopRequested = true;
  }
  stopSignal.notify_all();
}

void CFirmwareUpdate::OpenStopEvent() {
  std::lock_guard<std::mutex> lock(stopMutex);
  stopEventOpen = true;
  stopRequested = false;
}

void CFirmwareUpdate::CloseStopEvent() {
  std::lock_guard<std::mutex> lock(stopMutex);
  stopEventOpen = false;
  stopRequested = false;
}

bool CFirmwareUpdate::StopSignalled() {
  // The progress display's own Abort (Ctrl-C on the terminal) counts too.
  if (progress.Aborted()) return true;
  std::lock_guard<std::mutex> lock(stopMutex);
  return stopRequested;
}

bool CFirmwareUpdate::WaitForStop(uint32_t ms) {
  {
    std::unique_lock<std::mutex> lock(stopMutex);
    link.Clock().WaitFor(stopSignal, lock, ms, [this] { return stopRequested; });
  }
  return StopSignalled();
}

void CFirmwareUpdate::PausePoint() {
  std::unique_lock<std::mutex> lock(stopMutex);
  stopSignal.wait(lock, [this] { return !paused; });
}

void CFirmwareUpdate::Fail(const std::string& text) {
  SetStatus(text);
  LogLine("%s", text);
}

void CFirmwareUpdate::SetCurrent(uint64_t position, uint64_t range) {
  currentPosition = position;
  currentRange = range;
  progress.SetBars(Percent(currentPosition, currentRange), -1);
}

void CFirmwareUpdate::SetTotal(int position, int range) {
  totalPosition = position;
  totalRange = range;
  progress.SetBars(-1, Percent(static_cast<uint64_t>(std::max(totalPosition, 0)),
                               static_cast<uint64_t>(std::max(totalRange, 0))));
}

bool CFirmwareUpdate::LoadAssets() {
  std::string error;
  if (LoadFirmwareAssets(options.assetsDirectory, assets, error)) return true;
  Fail(error);
  view.ShowBox("Error", MessageKind::Error, error);
  return false;
}

UpdateResult CFirmwareUpdate::OpenMedia() { return lease.Open() ? UpdateResult::kSuccess : UpdateResult::kError; }

void CFirmwareUpdate::CloseMedia() {
  lease.Close(true);
  view.ShowLinkDescription(link.GetDescription());
}

UpdateResult CFirmwareUpdate::ReadDeviceVersion() {
  SetStatus("Get firmware version");
  link.SendBootloaderWake();
  ComResult result = link.GetFirmwareVersion(deviceVersion.major, deviceVersion.minor, deviceVersion.patch, 0);
  if (result != ComResult::kOk) {
    Fail(Sprintf("Get firmware version: %d\n", ResultCode(result)));
    return UpdateResult::kError;
  }
  view.ShowDeviceVersion(FormatFirmwareVersion(deviceVersion));
  return UpdateResult::kSuccess;
}

UpdateResult CFirmwareUpdate::ReadBootInfo() {
  SetStatus("Get information");
  uint16_t reported = 0;
  keyBytes.clear();
  keyLength = 0;
  ComResult result = link.GetBootInfo(bootMode, reported, bootVersion, keyBytes, keyLength);
  if (result != ComResult::kOk) {
    Fail(Sprintf("Get information error: %d\n", ResultCode(result)));
    return UpdateResult::kError;
  }
  view.ShowBootVersion(Sprintf("%d.0", bootVersion));
  blockSize = RoundBlockSize(reported);
  // The boot loader scrambles with its key bytes: a reply too short or too
  // long for them would make the scrambling read outside the key. A debug
  // build (0xFF) is refused later with its own message.
  if (bootMode != 0 && bootVersion != 0xFF &&
      (keyLength < 1 || keyLength > kMaxKeyLength || static_cast<size_t>(keyLength) > keyBytes.size())) {
    Fail(Sprintf("Get information error: invalid key length %d\n", keyLength));
    return UpdateResult::kError;
  }
  return UpdateResult::kSuccess;
}

UpdateResult CFirmwareUpdate::RequireBootLoader() {
  UpdateResult result = ReadBootInfo();
  if (result != UpdateResult::kSuccess) return result;
  if (bootMode == 0) {
    // Still the application: erasing now would destroy it with no boot loader to write the rest.
    Fail("Get information error: the bootloader is not running\n");
    return UpdateResult::kError;
  }
  return UpdateResult::kSuccess;
}

UpdateResult CFirmwareUpdate::Erase() {
  SetStatus("Erase code");
  ComResult result = link.EraseCode();
  if (result != ComResult::kOk) {
    Fail(Sprintf("Erase code error: %d\n", ResultCode(result)));
    return UpdateResult::kError;
  }
  return UpdateResult::kSuccess;
}

UpdateResult CFirmwareUpdate::Verify(bool bootBlock) {
  SetStatus("Verify application...");
  ComResult result = bootBlock ? link.VerifyBootBlock() : link.VerifyApplication();
  if (result != ComResult::kOk) {
    Fail(Sprintf("Verify application error: %d\n", ResultCode(result)));
    return UpdateResult::kError;
  }
  return UpdateResult::kSuccess;
}

UpdateResult CFirmwareUpdate::WriteBlock(uint32_t address, const uint8_t* block, size_t size) {
  if (IsErasedBlock(block, size)) return UpdateResult::kSuccess;
  std::vector<uint8_t> payload(size + 3);
  payload[0] = static_cast<uint8_t>(address >> 16);
  payload[1] = static_cast<uint8_t>(address >> 8);
  payload[2] = static_cast<uint8_t>(address);
  std::copy(block, block + size, payload.begin() + 3);
  if (link.WriteCode(payload.data(), static_cast<uint16_t>(payload.size())) != ComResult::kOk) {
    Fail("Update Firmware: error\n");
    return UpdateResult::kError;
  }
  return UpdateResult::kSuccess;
}

UpdateResult CFirmwareUpdate::WriteImage(const uint8_t* image, size_t length, bool decrypt, bool scramble) {
  if (!image || length == 0) return UpdateResult::kError;
  // Addresses have three bytes: a larger image would wrap onto its own start.
  if (length > kMaxImageLength) {
    Fail("Update Firmware: code too large\n");
    return UpdateResult::kError;
  }
  AesCbc cipher;
  if (decrypt) {
    if (assets.aesKey.size() != kAesKeySize ||
        !cipher.Init(AesCbc::Direction::Decrypt, assets.aesKey.data(), phx.fileIv.data()))
      return UpdateResult::kError;
  }
  if (UpdateResult result = Erase(); result != UpdateResult::kSuccess) return result;

  SetCurrent(0, length);
  uint16_t scrambleState = keyLength > 0 ? keyBytes[keyLength - 1] : 0;
  std::vector<uint8_t> buffer(blockSize);
  for (size_t offset = 0; offset < length; offset += blockSize) {
    PausePoint();
    SetStatus("Write code...");
    std::fill(buffer.begin(), buffer.end(), 0xFF);
    size_t n = std::min<size_t>(blockSize, length - offset);
    bool ok = true;
    if (decrypt)
      ok = cipher.Update(image + offset, n, buffer.data());
    else
      std::copy_n(image + offset, n, buffer.begin());
    if (ok && scramble) ScrambleBlock(scrambleState, buffer.data(), n, keyBytes.data(), keyLength);
    if (ok) ok = WriteBlock(static_cast<uint32_t>(offset), buffer.data(), blockSize) == UpdateResult::kSuccess;

    uint64_t done = static_cast<uint64_t>(offset) + blockSize;
    SetCurrentPosition(done);
    const int percent = Percent(done, length);
    progress.SetCounter(Sprintf("Write code: %d%%\n", percent), {ProgressCounter::Kind::kPercent, percent, 100, 0});
    if (StopSignalled()) {
      SetCurrentPosition(0);
      SetStatus("Update Firmware: Aborted");
      return UpdateResult::kAborted;
    }
    if (!ok) {
      SetStatus("Update Firmware: error");
      return UpdateResult::kError;
    }
  }
  SetStatus("Write checksum...");
  ComResult result = link.WriteChecksum();
  if (result != ComResult::kOk) {
    Fail(Sprintf("Write checksum error: %d\n", ResultCode(result)));
    return UpdateResult::kError;
  }
  return UpdateResult::kSuccess;
}

UpdateResult CFirmwareUpdate::WaitForReboot(uint32_t maxMs) {
  SetCurrent(0, maxMs);
  CloseMedia();
  bool opened = false;
  uint32_t elapsed = 0;
  for (;;) {
    PausePoint();
    if (WaitForStop(100)) {
      SetCurrentPosition(0);
      return UpdateResult::kAborted;
    }
    elapsed = std::min(elapsed + 100, maxMs);
    SetCurrentPosition(elapsed);
    const int left = static_cast<int>((maxMs - elapsed) / 1000);
    progress.SetCounter(Sprintf("Please wait while rebooting (%ds)\n", left), {ProgressCounter::Kind::kCountdown, left, 0, 0});
    if (!opened) opened = OpenMedia() == UpdateResult::kSuccess;
    if (opened) {
      link.SendBootloaderWake();
      uint8_t major, minor, patch;
      ComResult polled = link.GetFirmwareVersion(major, minor, patch, 100);
      if (polled == ComResult::kOk) {
        SetCurrentPosition(0);
        return UpdateResult::kSuccess;
      }
      // A USB box leaves the bus while it reboots and comes back as a new
      // device: the handle opened before stays dead and its writes fail, so
      // the link is closed and opened afresh for the next poll. A line that
      // merely stays silent is kept (closing a modem link hangs up the call).
      if (polled == ComResult::kWriteFailed) {
        link.Close();
        opened = false;
      }
    }
    if (elapsed >= maxMs) return UpdateResult::kError;
  }
}

UpdateResult CFirmwareUpdate::RunSteps() {
  UpdateResult result = ReadDeviceVersion();
  if (result == UpdateResult::kSuccess) {
    if (!prompt.AskYesNo("Warning", "Would you like to update the firmware of your instrument?")) {
      result = UpdateResult::kAborted;
    } else if (phx.fileVersion.Number() <= deviceVersion.Number()) {
      const FirmwareVersion& f = phx.fileVersion;
      const FirmwareVersion& d = deviceVersion;
      std::string question = Sprintf(
          "The new firmware %d.%d.%d is %s the Photometer's firmware %d.%d.%d.\n\nDo you want to continue?",
          f.major, f.minor, f.patch, f.Number() == d.Number() ? "equal to" : "older than", d.major, d.minor,
          d.patch);
      if (!prompt.AskYesNo("Warning", question)) result = UpdateResult::kAborted;
    }
    if (result == UpdateResult::kSuccess)
      view.ShowBox("Warning", MessageKind::Warning,
                   "Please connect the instrument to a 12V batterie and/or charger.\n\nPress OK to continue.");
  }
  SetTotal(0, 2);
  if (result != UpdateResult::kSuccess) return result;

  if ((result = ReadBootInfo()) != UpdateResult::kSuccess) return result;

  if (bootMode == 0) {
    SetTotal(1, 8);
    if ((result = WriteImage(assets.applicationModeImage.data(), assets.applicationModeImage.size(), false, false)) !=
        UpdateResult::kSuccess)
      return result;
    if ((result = Verify(false)) != UpdateResult::kSuccess) return result;
    SetTotalPosition(2);
    if ((result = WaitForReboot(options.applicationRebootWaitMs)) != UpdateResult::kSuccess) return result;
    SetTotalPosition(3);
    if ((result = RequireBootLoader()) != UpdateResult::kSuccess) return result;
  }

  if (bootVersion == 0xFF) {
    view.ShowBox("Error", MessageKind::Error, "Debug version.\nNo bootloader found : Quit");
    return UpdateResult::kError;
  }
  if (bootVersion != 0 && totalRange == 8) SetTotal(totalPosition, 6);

  if (bootVersion == 0) {
    SetTotalPosition(totalPosition + 1);
    if ((result = WriteImage(assets.bootBlock.data(), assets.bootBlock.size(), false, true)) != UpdateResult::kSuccess)
      return result;
    if ((result = Verify(true)) != UpdateResult::kSuccess) return result;
    SetTotalPosition(totalPosition + 1);
    if ((result = RequireBootLoader()) != UpdateResult::kSuccess) return result;
  }

  SetTotalPosition(totalPosition + 1);
  if ((result = WriteImage(phx.fileCode.data(), phx.fileCode.size(), true, true)) != UpdateResult::kSuccess)
    return result;
  if ((result = Verify(false)) != UpdateResult::kSuccess) return result;
  SetTotalPosition(totalPosition + 1);
  if ((result = WaitForReboot(options.codeRebootWaitMs)) != UpdateResult::kSuccess) return result;
  SetTotalPosition(totalPosition + 1);
  return UpdateResult::kSuccess;
}

UpdateResult CFirmwareUpdate::RunUpdate() {
  bootMode = 0;
  bootVersion = 0;
  keyBytes.clear();
  keyLength = 0;
  deviceVersion = FirmwareVersion{};
  if (phx.fileCode.empty()) {
    view.ShowBox("Error", MessageKind::Error, "Choose a file first");
    return UpdateResult::kError;
  }
  // Nothing goes to the box unless everything the run may need is here.
  if (!LoadAssets()) return UpdateResult::kError;

  lease = session.Acquire(LinkSession::kOperatorWaitMs, true);
  if (!lease) {
    SetStatus(lease.ErrorText());
    return UpdateResult::kError;
  }
  view.EnableControls(false);
  OpenStopEvent();
  link.ResetReceivedBytes();

  UpdateResult result = RunSteps();

  CloseStopEvent();
  CloseMedia();
  lease.Release();
  view.EnableControls(true);
  SetTotalPosition(0);

  std::string text = UpdateResultText(result);
  SetStatus("Update: " + text);
  const FirmwareVersion& d = deviceVersion;
  const FirmwareVersion& f = phx.fileVersion;
  MessageKind kind = result == UpdateResult::kSuccess   ? MessageKind::Info
                     : result == UpdateResult::kAborted ? MessageKind::Warning
                                                        : MessageKind::Error;
  view.ShowBox("Info", kind, Sprintf("Update firmware from version %d.%d.%d to version %d.%d.%d :\n", d.major, d.minor,
                             d.patch, f.major, f.minor, f.patch) +
                         text);
  return result;
}

}  // namespace skyh
