#include "app/cli_link.h"

#include <cstdio>

#include "app/cli_progress.h"
#include "core/text_util.h"

namespace skyh::cli {

const std::set<std::string>& LinkOptionNames() {
  static const std::set<std::string> names{"link", "port", "phone"};
  return names;
}

const char* LinkOptionsHelp() {
  return "  --link usb|serial|modem  link to use for this run (default: communication/type)\n"
         "  --port NAME              serial port, e.g. /dev/ttyUSB0 or ttyUSB0, or a device server as\n"
         "                           socket://HOST:PORT or rfc2217://HOST:PORT (default: communication/port)\n"
         "  --phone NUMBER           number the modem dials (default: communication/phone_number)\n";
}

bool ApplyLinkOptions(const CliOptions& options, CConfiguration& config) {
  if (options.Has("link")) {
    std::string link = ToLowerAscii(options.Value("link"));
    if (link == "usb" || link == "0") config.linkType = kLinkUsb;
    else if (link == "serial" || link == "1") config.linkType = kLinkSerial;
    else if (link == "modem" || link == "2") config.linkType = kLinkModem;
    else {
      std::fprintf(stderr, "--link takes usb, serial or modem, not \"%s\"\n", options.Value("link").c_str());
      return false;
    }
  }
  if (options.Has("port")) config.port = options.Value("port");
  if (options.Has("phone")) config.phoneNumber = options.Value("phone");
  return true;
}

bool Confirm(const CliOptions& options, const std::string& text) {
  TerminalProgress progress;
  TerminalPrompt prompt(options.Has("yes"), progress);
  return prompt.AskYesNo("Info", text);
}

}  // namespace skyh::cli
