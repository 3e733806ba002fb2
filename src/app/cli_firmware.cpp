// skyharvester-cli firmware FILE.phx: the firmware update on the terminal.
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "app/cli_commands.h"
#include "app/cli_progress.h"
#include "link/ccom_modem.h"
#include "link/ccom_serial.h"
#include "link/ccom_usb.h"
#include "protocol/firmware_file_choice.h"
#include "protocol/firmware_update.h"

namespace skyh::cli {
namespace {

// Block percentages share one line on a terminal; "Write code..." comes
// before every block and says nothing new.
TerminalProgressOptions FirmwareProgressOptions() {
  TerminalProgressOptions o;
  o.transientPrefixes = {"Write code: ", "Please wait while rebooting"};
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

std::unique_ptr<CCom> MakeLink(const CConfiguration& config) {
  switch (config.linkType) {
    case kLinkSerial: {
      auto link = std::make_unique<CComSerial>();
      link->SetPortName(config.port);
      return link;
    }
    case kLinkModem: {
      auto link = std::make_unique<CComModem>();
      link->SetPortName(config.port);
      link->SetPhoneNumber(config.phoneNumber);
      return link;
    }
    default:
      return std::make_unique<CComUsb>();
  }
}

bool TakeValue(CliContext& ctx, size_t& i, std::string& value) {
  if (i + 1 >= ctx.args.size()) {
    std::fprintf(stderr, "%s needs a value\n", ctx.args[i].c_str());
    return false;
  }
  value = ctx.args[++i];
  return true;
}

int RunFirmware(CliContext& ctx) {
  std::string path, value;
  bool yes = false;
  CConfiguration config = ctx.config;
  std::string assetsDirectory = ctx.paths.configurationDirectory;
  FirmwareUpdateOptions options;
  for (size_t i = 0; i < ctx.args.size(); ++i) {
    const std::string& a = ctx.args[i];
    if (a == "--yes" || a == "-y") {
      yes = true;
    } else if (a == "--type") {
      if (!TakeValue(ctx, i, value)) return kExitError;
      if (value == "usb") config.linkType = kLinkUsb;
      else if (value == "serial") config.linkType = kLinkSerial;
      else if (value == "modem") config.linkType = kLinkModem;
      else {
        std::fprintf(stderr, "--type wants usb, serial or modem\n");
        return kExitError;
      }
    } else if (a == "--port") {
      if (!TakeValue(ctx, i, config.port)) return kExitError;
    } else if (a == "--phone") {
      if (!TakeValue(ctx, i, config.phoneNumber)) return kExitError;
    } else if (a == "--assets") {
      if (!TakeValue(ctx, i, assetsDirectory)) return kExitError;
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "Unknown option \"%s\"\n", a.c_str());
      return kExitError;
    } else if (path.empty()) {
      path = a;
    } else {
      std::fprintf(stderr, "One firmware file only\n");
      return kExitError;
    }
  }
  if (path.empty()) {
    std::fprintf(stderr, "Usage: skyharvester-cli firmware FILE.phx [--yes] [--type T] [--port P] [--phone N]\n");
    return kExitError;
  }
  options.assetsDirectory = assetsDirectory;

  TerminalProgress progress(FirmwareProgressOptions());
  TerminalPrompt prompt(yes, progress);
  TerminalView view(progress, &prompt);

  PhxFile file;
  FirmwareFileFields fields;
  if (ChooseFirmwareFile(ctx.paths.iniPath, path, file, fields, &view) != kPhxLoaded) return kExitError;
  std::printf("File: %s\nFile version: %s\nFile size: %s\n", fields.path.c_str(), fields.version.c_str(),
              fields.size.c_str());
  std::fflush(stdout);

  std::unique_ptr<CCom> link = MakeLink(config);
  InterruptGuard interrupts;

  int result;
  {
    CFirmwareUpdate update(*link, progress, prompt, view, options);
    update.SetFile(file);
    update.Start();
    // The command ends only when its worker has.
    result = update.Join();
  }
  progress.EndLine();
  return result == kUpdateSuccess ? kExitOk : result == kUpdateAborted ? kExitAborted : kExitError;
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
     "  --yes, -y        answer Yes to every question\n"
     "  --type T         link for this run: usb, serial or modem (default: configured)\n"
     "  --port P         serial port for this run (default: configured)\n"
     "  --phone N        phone number for this run (default: configured)\n"
     "  --assets DIR     folder with the key and images (default: configuration directory)\n\n"
     "Exit code: 0 updated, 1 error, 2 aborted.\n",
     RunFirmware, 70});

}  // namespace
}  // namespace skyh::cli
