#pragma once
// The link options shared by every subcommand that talks to the control box.
#include <set>
#include <string>

#include "app/cli_commands.h"
#include "app/cli_options.h"
#include "core/configuration.h"

namespace skyh::cli {

// Options that override the configured link for one run.
const std::set<std::string>& LinkOptionNames();  // link, port, phone
// The help lines for them.
const char* LinkOptionsHelp();

// Applies --link usb|serial|modem, --port and --phone to the configuration;
// false (with a message on stderr) for a bad --link value.
bool ApplyLinkOptions(const CliOptions& options, CConfiguration& config);

// Asks "text [y/N]" on the terminal unless --yes was given; false without a
// terminal to ask on.
bool Confirm(const CliOptions& options, const std::string& text);

}  // namespace skyh::cli
