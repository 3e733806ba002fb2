#include "app/cli_session.h"

#include <cstdio>

#include "app/cli_link.h"
#include "core/format.h"
#include "core/log_file.h"
#include "core/time_util.h"
#include "link/media_steps.h"
#include "records/settings_area.h"

namespace skyh::cli {

CommunicationLock& ProcessCommunicationLock() {
  static CommunicationLock lock;
  return lock;
}

std::optional<CliOptions> ParseLinkCommand(const CliContext& ctx, std::set<std::string> withValue,
                                           std::set<std::string> flags, CConfiguration& config) {
  withValue.insert(LinkOptionNames().begin(), LinkOptionNames().end());
  CliOptions options(ctx.args, withValue, flags);
  if (!options.Ok()) {
    std::fprintf(stderr, "%s\n", options.Error().c_str());
    return std::nullopt;
  }
  config = ctx.config;
  if (!ApplyLinkOptions(options, config)) return std::nullopt;
  return options;
}

LinkSession::LinkSession(const CConfiguration& config) : link_(&links_.Select(config)) {}

LinkSession::~LinkSession() { End(false); }

bool LinkSession::Open(bool media, const std::string& failText) {
  hold_.emplace(ProcessCommunicationLock(), CommunicationLock::kOperatorWaitMs);
  if (!hold_->Held()) {
    hold_.reset();
    std::fprintf(stderr, "%s%s", failText.empty() ? "" : (failText + "\n").c_str(), LinkBusyText());
    return false;
  }
  media_ = media;
  open_ = media ? OpenMedia(*link_) : link_->Open();
  if (!open_) {
    if (!failText.empty()) std::fprintf(stderr, "%s\n", failText.c_str());
    const std::string reason = link_->GetLastErrorText();
    if (!reason.empty()) std::fprintf(stderr, "%s\n", reason.c_str());
    hold_.reset();
  }
  return open_;
}

void LinkSession::End(bool endSession) {
  if (open_) {
    if (endSession) link_->EndSession();
    if (media_) CloseMedia(*link_);
    else link_->Close();
    open_ = false;
  }
  hold_.reset();
}

std::optional<std::vector<uint8_t>> ReadBoxSettings(const CConfiguration& config) {
  LinkSession session(config);
  if (!session.Open(true, "")) return std::nullopt;
  std::vector<uint8_t> record;
  ComResult e = session.Link().GetSettings(record);
  if (e == kComOk && !IsSettingsRecord(record)) e = kComChecksumError;  // not a settings record
  if (e != kComOk) {
    LogLine("Get settings error: %d\n", e);
    std::fprintf(stderr, "Get settings error: %u\n", e);
    session.End(false);
    return std::nullopt;
  }
  session.End(true);
  return record;
}

std::string FormatUtc(int64_t time) {
  DateTimeFields f;
  if (!TimeToFields(time, f)) return "(no time)";
  return Sprintf("%04d-%02d-%02d %02d:%02d:%02d", f.year, f.month, f.day, f.hour, f.minute, f.second);
}

}  // namespace skyh::cli

namespace skyh::cli {

int RunBoardCommand(CliContext& ctx, const char* usage, const std::string& question, ComResult (CCom::*command)(),
                    const char* success, const char* failure) {
  CConfiguration config;
  auto options = ParseLinkCommand(ctx, {}, {"yes"}, config);
  if (!options) return kExitError;
  if (!options->Positional().empty()) {
    std::fprintf(stderr, "%s", usage);
    return kExitError;
  }
  // No: nothing is sent and there is no result to tell.
  if (!Confirm(*options, question)) return kExitAborted;
  LinkSession session(config);
  bool ok = false;
  if (session.Open(false, "")) {
    ok = (session.Link().*command)() == kComOk;
    session.End(false);
  }
  std::printf("%s\n", ok ? success : failure);
  return ok ? kExitOk : kExitError;
}

}  // namespace skyh::cli
