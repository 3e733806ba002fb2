#include "app/cli_session.h"

#include <cstdio>

#include "app/cli_json.h"
#include "app/cli_link.h"
#include "core/format.h"
#include "core/log_file.h"
#include "core/time_util.h"
#include "records/settings_area.h"

namespace skyh::cli {

std::optional<CliOptions> ParseLinkCommand(const CliContext& ctx, std::set<std::string> withValue,
                                           const std::set<std::string>& flags, CConfiguration& config) {
  withValue.insert(LinkOptionNames().begin(), LinkOptionNames().end());
  CliOptions options(ctx.args, withValue, flags);
  if (!options.Ok()) {
    ReportError(options.Error());
    return std::nullopt;
  }
  config = ctx.config;
  if (!ApplyLinkOptions(options, config)) return std::nullopt;
  return options;
}

LinkLease LeaseOrReport(LinkSession& session, bool media, const std::string& failText) {
  LinkLease lease = session.Acquire(LinkSession::kOperatorWaitMs, media);
  if (lease) return lease;
  if (!failText.empty()) std::fprintf(stderr, "%s\n", failText.c_str());
  const std::string& reason = lease.ErrorText();
  NoteError(reason.empty() ? failText : reason);
  if (!reason.empty()) std::fprintf(stderr, "%s%s", reason.c_str(), reason.back() == '\n' ? "" : "\n");
  return lease;
}

std::optional<std::vector<uint8_t>> ReadBoxSettings(const CConfiguration& config) {
  LinkSession session;
  session.Choose(config);
  LinkLease lease = LeaseOrReport(session, true, "");
  if (!lease) return std::nullopt;
  std::vector<uint8_t> record;
  ComResult e = lease.Link().GetSettings(record);
  if (e == ComResult::kOk && !IsSettingsRecord(record)) e = ComResult::kChecksumError;  // not a settings record
  if (e != ComResult::kOk) {
    LogLine("Get settings error: %d\n", ResultCode(e));
    std::fprintf(stderr, "Get settings error: %u\n", ResultCode(e));
    NoteError(Sprintf("Get settings error: %u", ResultCode(e)));
    return std::nullopt;
  }
  lease.EndSessionOnRelease(true);
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
  LinkSession session;
  session.Choose(config);
  bool ok = false;
  if (LinkLease lease = LeaseOrReport(session, false, "")) ok = (lease.Link().*command)() == ComResult::kOk;
  std::printf("%s\n", ok ? success : failure);
  return ok ? kExitOk : kExitError;
}

}  // namespace skyh::cli
