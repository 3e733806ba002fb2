// skyharvester-cli firmware FILE.phx: the firmware update on the terminal.
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "app/cli_commands.h"
#include "app/cli_link.h"
#include "app/cli_progress.h"
#include "app/cli_retrieval_common.h"
#include "app/cli_session.h"
#include "core/folders.h"
#include "settings/firmware_backup.h"
#include "protocol/firmware_assets.h"
#include "protocol/firmware_file_choice.h"
#include "protocol/firmware_update.h"
#include "records/settings_area.h"
#include "settings/build_settings_items.h"
#include "settings/instrument_info.h"
#include "settings/set_file.h"

namespace skyh::cli {
namespace {

// "Write code..." comes before every block and says nothing new.
TerminalProgressOptions FirmwareProgressOptions() {
  TerminalProgressOptions o;
  o.hiddenTexts = {"Write code..."};
  o.showTitle = false;
  return o;
}

class TerminalView : public IFirmwareView {
 public:
  TerminalView(TerminalProgress& progress, const TerminalPrompt* prompt) : progress(progress), prompt(prompt) {}
  void ShowDeviceVersion(const std::string& text) override { Field("Firmware version: ", text); }
  void ShowBootVersion(const std::string& text) override { Field("Bootloader version: ", text); }
  void EnableControls(bool) override {}
  void ShowLinkDescription(const std::string&) override {}
  void ShowBox(const std::string& caption, MessageKind icon, const std::string& text) override {
    progress.EndLine();
    std::fprintf(stderr, "%s: %s%s", caption.c_str(), text.c_str(), text.empty() || text.back() != '\n' ? "\n" : "");
    // The battery warning waits for the person at the terminal.
    if (icon == MessageKind::Warning && prompt && prompt->Interactive() && text.find("Press OK") != std::string::npos) {
      std::fprintf(stderr, "Press Enter to continue.");
      std::string line;
      std::getline(std::cin, line);
    }
  }

 private:
  void Field(const char* label, const std::string& text) {
    progress.EndLine();
    std::printf("%s%s\n", label, text.c_str());
    std::fflush(stdout);
  }
  TerminalProgress& progress;
  const TerminalPrompt* prompt;
};

// The backup every front end offers before an update, on the terminal.
bool Backup(CliContext& ctx, const CConfiguration& config, LinkSession& session, TerminalProgress& progress) {
  TerminalStatusLine status(progress);
  FirmwareBackupResult backup = RunFirmwareBackup(session, config, ctx.paths.iniPath, progress, status);
  progress.EndLine();
  if (backup.records >= 0) std::printf("Records saved: %d, in %s\n", backup.records, config.outputDirectory.c_str());
  if (!backup.ok) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s", backup.error.c_str());
    return false;
  }
  std::printf("Settings saved: %s\n", backup.setFilePath.c_str());
  return true;
}

int RunFirmware(CliContext& ctx) {
  std::vector<std::string> args = ctx.args;
  for (std::string& a : args) {
    if (a == "-y") a = "--yes";
    if (a == "--type") a = "--link";  // the option's first name
  }
  std::set<std::string> withValue = LinkOptionNames();
  withValue.insert({"assets", "files"});
  CliOptions options(args, withValue, {"yes", "backup", "no-backup", kClockNeedsSyncFlag});
  if (!options.Ok() || options.Positional().size() != 1) {
    std::fprintf(stderr, "%s\nUsage: skyharvester-cli firmware FILE.phx [options] (see --help)\n",
                 options.Ok() ? (options.Positional().empty() ? "no firmware file" : "one firmware file only")
                              : options.Error().c_str());
    return kExitError;
  }
  CConfiguration config = ctx.config;
  if (!ApplyLinkOptions(options, config)) return kExitError;
  if (options.Has("files")) config.outputDirectory = options.Value("files");
  ApplyClockNeedsSync(options, config);
  config.outputDirectory = WithSlash(config.outputDirectory);
  const std::string path = options.Positional()[0];
  FirmwareUpdateOptions updateOptions;
  updateOptions.assetsDirectory = options.Value("assets", ctx.paths.configurationDirectory);

  TerminalProgress progress(FirmwareProgressOptions());
  TerminalPrompt prompt(options.Has("yes"), progress);
  TerminalView view(progress, &prompt);

  PhxFile file;
  FirmwareFileFields fields;
  if (ChooseFirmwareFile(ctx.paths.iniPath, path, file, fields, &view) != kPhxLoaded) return kExitError;
  std::printf("File: %s\nFile version: %s\nFile size: %s\n", fields.path.c_str(), fields.version.c_str(),
              fields.size.c_str());
  std::fflush(stdout);

  // Nothing is asked or sent when the update could not run anyway.
  FirmwareAssets assets;
  std::string error;
  if (!LoadFirmwareAssets(updateOptions.assetsDirectory, assets, error)) {
    view.ShowBox("Error", MessageKind::Error, error);
    return kExitError;
  }

  LinkSession session;
  session.Choose(config);
  InterruptGuard interrupts;

  const bool backup = options.Has("backup") ||
                      (!options.Has("no-backup") &&
                       prompt.AskYesNo("Info", "Retrieve the records and save the settings before the update?"));
  if (backup && !Backup(ctx, config, session, progress)) return InterruptRequested() ? kExitAborted : kExitError;

  std::optional<UpdateResult> result;
  {
    CFirmwareUpdate update(session, progress, prompt, view, updateOptions);
    update.SetFile(file);
    update.Start();
    // The command ends only when its worker has.
    result = update.Join();
  }
  progress.EndLine();
  return result == UpdateResult::kSuccess ? kExitOk : result == UpdateResult::kAborted ? kExitAborted : kExitError;
}

const CliCommandRegistrar registrar(
    {"firmware", "update the control box's firmware from a .phx file",
     "Usage: skyharvester-cli firmware FILE.phx [options]\n\n"
     "Shows the file's version and size and the box's firmware and boot loader\n"
     "versions, asks before updating (and again when the file is not newer),\n"
     "then erases, writes and verifies through the boot loader and waits for\n"
     "the box to restart. Ctrl-C stops between blocks.\n\n"
     "The update needs the maker's key and two built-in images in the\n"
     "configuration directory: firmware_key.bin (32 bytes),\n"
     "firmware_application_mode.bin (46320 bytes) and firmware_boot_block.bin\n"
     "(4096 bytes). Without them nothing is sent to the box.\n\n"
     "Options:\n"
     "  --yes, -y                answer Yes to every question\n"
     "  --backup                 first retrieve the records (K8 snapshot) and save the settings\n"
     "                           (Settings_<IDNUM>.set) into the files folder; without --backup\n"
     "                           or --no-backup the tool asks\n"
     "  --no-backup              update without asking for a backup\n"
     "  --files DIR              files folder for the backup (default: automatic/ascii_path)\n"
     "  --clock-needs-sync       the backup sets the box's clock (AutoSetTime) only while the\n"
     "                           computer's clock is synchronised (default: AutoSetTimeNeedsSync)\n"
     "  --link usb|serial|modem  link for this run (--type is the same; default: configured)\n"
     "  --port NAME              serial port for this run (default: configured)\n"
     "  --phone NUMBER           phone number for this run (default: configured)\n"
     "  --assets DIR             folder with the key and images (default: configuration directory)\n\n"
     "Exit code: 0 updated, 1 error, 2 aborted.\n",
     RunFirmware, 70});

}  // namespace
}  // namespace skyh::cli
