#pragma once
// What the subcommands that talk to the control box share: the link
// options, a lease reported on the terminal, and reading the box's settings.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/cli_commands.h"
#include "app/cli_options.h"
#include "link/link_session.h"

namespace skyh::cli {

// Parses the command's options together with the link options and applies
// the latter to a copy of the configuration. Prints the problem and gives
// nothing on a bad option.
std::optional<CliOptions> ParseLinkCommand(const CliContext& ctx, std::set<std::string> withValue,
                                           const std::set<std::string>& flags, CConfiguration& config);

// A lease on the session's link (operator wait; `media` with the window's
// open media step). When that fails, prints `failText` (if any) and why on
// stderr and gives a failed lease.
LinkLease LeaseOrReport(LinkSession& session, bool media, const std::string& failText);

// The control box's settings record, read over the configured link
// (GetSettings, then EndSession). Prints "Get settings error: %d" or the
// open failure on stderr and gives nothing when it fails.
std::optional<std::vector<uint8_t>> ReadBoxSettings(const CConfiguration& config);

// "YYYY-MM-DD HH:MM:SS" of a time (UTC fields).
std::string FormatUtc(int64_t time);

}  // namespace skyh::cli

namespace skyh::cli {

// Reset and clear flash: asks `question` unless --yes, opens the link
// directly, sends the command and prints `success` or `failure`.
int RunBoardCommand(CliContext& ctx, const char* usage, const std::string& question, ComResult (CCom::*command)(),
                    const char* success, const char* failure);

}  // namespace skyh::cli
