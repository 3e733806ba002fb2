#pragma once
// What the subcommands that talk to the control box share: the process's
// communication lock, the configured link, and reading the box's settings.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/cli_commands.h"
#include "app/cli_options.h"
#include "link/communication_lock.h"
#include "link/link_selection.h"

namespace skyh::cli {

// Every user of the link in this process holds it for its whole use of the
// link; other processes are kept off by the port's own exclusive open.
CommunicationLock& ProcessCommunicationLock();

// Parses the command's options together with the link options and applies
// the latter to a copy of the configuration. Prints the problem and gives
// nothing on a bad option.
std::optional<CliOptions> ParseLinkCommand(const CliContext& ctx, std::set<std::string> withValue,
                                           std::set<std::string> flags, CConfiguration& config);

// The configured link, held under the communication lock for the life of the
// object and closed at its end.
class LinkSession {
 public:
  explicit LinkSession(const CConfiguration& config);
  ~LinkSession();
  LinkSession(const LinkSession&) = delete;
  LinkSession& operator=(const LinkSession&) = delete;

  // Takes the lock (waiting the operator's time) and opens the link; with
  // `media` as the window's open media step, with its log lines. Prints
  // `failText` (or the busy text) and the link's last error on stderr when
  // it fails.
  bool Open(bool media, const std::string& failText);
  CCom& Link() { return *link_; }
  // Sends EndSession (after a successful exchange), then closes.
  void End(bool endSession);

 private:
  LinkSelection links_;
  CCom* link_;
  std::optional<CommunicationLockHolder> hold_;
  bool open_ = false;
  bool media_ = false;
};

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
