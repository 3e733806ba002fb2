#pragma once
// The firmware update through the control box's boot loader, as logic that
// runs on a worker thread. The window's dialog and the command-line tool give
// it their progress display, questions and fields through small interfaces.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/progress.h"
#include "core/worker.h"
#include "core/user_messages.h"
#include "link/link_session.h"
#include "protocol/firmware_assets.h"
#include "protocol/phx_file.h"

namespace skyh {

class CCom;

// What the firmware dialog shows besides the progress display.
class IFirmwareView {
 public:
  virtual ~IFirmwareView() = default;
  virtual void ShowDeviceVersion(const std::string& text) = 0;   // "Firmware version: " field
  virtual void ShowBootVersion(const std::string& text) = 0;     // "Bootloader version: " field
  virtual void EnableControls(bool enabled) = 0;                  // "..." and "Update..." buttons
  virtual void ShowLinkDescription(const std::string& text) = 0;  // the dialog's status bar
  // A message box with an OK button only: its title and its icon.
  virtual void ShowBox(const std::string& caption, MessageKind icon, const std::string& text) = 0;
};

// Results of the update's steps and of the whole run.
enum class UpdateResult : int { kSuccess = 0, kError = 1, kAborted = 2 };

// "SUCCESS", "ERROR", "ABORTED" or "UNKNOWN".
const char* UpdateResultText(UpdateResult result);

struct FirmwareUpdateOptions {
  // Where the maker's key and the two built-in images are read from.
  std::string assetsDirectory;
  // Reboot waits (ms counted in 100 ms steps on the link's clock).
  uint32_t applicationRebootWaitMs = 30000;
  uint32_t codeRebootWaitMs = 140000;
};

class CFirmwareUpdate {
 public:
  // The run holds a lease on the session's active link from start to end,
  // so no other user's exchanges interleave with the update's.
  CFirmwareUpdate(LinkSession& session, IProgressSink& progress, IPrompt& prompt, IFirmwareView& view,
                  FirmwareUpdateOptions options);
  // Stops a running update and waits for its worker.
  ~CFirmwareUpdate();
  CFirmwareUpdate(const CFirmwareUpdate&) = delete;
  CFirmwareUpdate& operator=(const CFirmwareUpdate&) = delete;

  // The loaded file whose code is written.
  void SetFile(const PhxFile& file) { phx = file; }
  const PhxFile& File() const { return phx; }

  // Starts the worker ("Please wait..." then RunUpdate). False when one runs
  // already or there is no file.
  bool Start();
  // Waits for the worker; its result, or none when none ran.
  std::optional<UpdateResult> Join();
  bool Running() const { return worker.Running(); }

  // Cancel: holds the worker at its next pause point (between blocks, between
  // reboot polls) while the caller asks whether to stop.
  void Pause();
  void Resume();
  // Stops the running update; does nothing when none runs.
  void RequestStop();

  // The whole update on the calling thread.
  UpdateResult RunUpdate();

  // The steps; the media steps work on the run's lease.
  UpdateResult OpenMedia();
  void CloseMedia();
  UpdateResult ReadDeviceVersion();
  UpdateResult ReadBootInfo();
  UpdateResult Erase();
  UpdateResult WriteImage(const uint8_t* image, size_t length, bool decrypt, bool scramble);
  UpdateResult WriteBlock(uint32_t address, const uint8_t* block, size_t size);
  UpdateResult WaitForReboot(uint32_t maxMs);

  // State after the last GetBootInfo / GetFirmwareVersion.
  uint8_t BootMode() const { return bootMode; }
  uint16_t BlockSize() const { return blockSize; }
  uint8_t BootVersion() const { return bootVersion; }
  const FirmwareVersion& DeviceVersion() const { return deviceVersion; }

  // The boot loader's key bytes; more are never accepted.
  static constexpr int kMaxKeyLength = 256;
  // The code address has three bytes.
  static constexpr size_t kMaxImageLength = 0x1000000;

 private:
  UpdateResult RunSteps();
  UpdateResult Verify(bool bootBlock);
  UpdateResult RequireBootLoader();
  bool LoadAssets();
  void Fail(const std::string& text);  // status line and log

  void SetStatus(const std::string& text) { progress.SetText(text); }
  void SetCurrent(uint64_t position, uint64_t range);
  void SetCurrentPosition(uint64_t position) { SetCurrent(position, currentRange); }
  void SetTotal(int position, int range);
  void SetTotalPosition(int position) { SetTotal(position, totalRange); }

  void OpenStopEvent();
  void CloseStopEvent();
  bool StopSignalled();
  // Waits up to `ms` on the link's clock; true when a stop came.
  bool WaitForStop(uint32_t ms);
  void PausePoint();

  LinkSession& session;
  CCom& link;
  LinkLease lease;
  IProgressSink& progress;
  IPrompt& prompt;
  IFirmwareView& view;
  FirmwareUpdateOptions options;

  PhxFile phx;
  FirmwareAssets assets;

  Worker worker;
  std::optional<UpdateResult> workerResult;

  // The stop event: private to this object, present only while a run is on
  // (also one run on the caller's thread); it wakes the reboot wait at once.
  std::mutex stopMutex;
  std::condition_variable stopSignal;
  bool stopEventOpen = false;
  bool stopRequested = false;
  bool paused = false;

  uint8_t bootMode = 0;
  uint16_t blockSize = 256;
  uint8_t bootVersion = 0;
  std::vector<uint8_t> keyBytes;
  int32_t keyLength = 0;
  FirmwareVersion deviceVersion;

  uint64_t currentRange = 0, currentPosition = 0;
  int totalRange = 2, totalPosition = 0;
};

}  // namespace skyh
