// skyharvester-cli time get | time set [--system | DATE TIME]
#include <cstdio>

#include "app/cli_json.h"
#include "app/cli_link.h"
#include "app/cli_session.h"
#include "core/text_util.h"
#include "core/time_util.h"

namespace skyh::cli {
namespace {

const char kUsage[] =
    "Usage: skyharvester-cli time get [--json] [link options]\n"
    "       skyharvester-cli time set [--system | YYYY-MM-DD HH:MM:SS] [link options]\n";

// The range the window's date and time pickers accept.
const int64_t kEarliest = FieldsToTime(2000, 1, 1, 0, 0, 0);
const int64_t kLatest = FieldsToTime(2099, 12, 12, 23, 59, 59);

// "YYYY-MM-DD" and "HH:MM:SS" (or "HH:MM") as UTC; nothing for a text that
// is not a real date and time (no carrying: 2025-02-30 is refused).
std::optional<int64_t> ParseDateTime(const std::string& date, const std::string& time) {
  DateTimeFields f;
  char extra = 0;
  if (std::sscanf(date.c_str(), "%4d-%2d-%2d%c", &f.year, &f.month, &f.day, &extra) != 3) return std::nullopt;
  int n = std::sscanf(time.c_str(), "%2d:%2d:%2d%c", &f.hour, &f.minute, &f.second, &extra);
  if (n == 2) f.second = 0;
  else if (n != 3) return std::nullopt;
  const int64_t t = FieldsToTime(f);
  DateTimeFields back;
  if (t == kInvalidTime || !TimeToFields(t, back) || back.year != f.year || back.month != f.month ||
      back.day != f.day || back.hour != f.hour || back.minute != f.minute || back.second != f.second)
    return std::nullopt;
  return t;
}

int TimeGet(const CConfiguration& config, const JsonOutput& json) {
  Json out{{"command", "time get"}};
  LinkSession session;
  session.Choose(config);
  LinkLease lease = LeaseOrReport(session, false, "Can't find Photometer");
  if (!lease) return json.Finish(out, kExitError);
  int64_t boxTime = kInvalidTime;
  const ComResult e = lease.Link().GetDateTime(boxTime);
  const int64_t now = NowUtc();
  lease.Release();
  if (e != ComResult::kOk) {
    ReportError("Get time/date error");
    return json.Finish(out, kExitError);
  }
  std::printf("%s\n", FormatUtc(boxTime).c_str());
  const int64_t ahead = boxTime - now;
  std::fprintf(stderr, "Get time/date ok (%+lld s against the computer's UTC clock)\n", static_cast<long long>(ahead));
  out["box_time"] = TimeJson(boxTime);
  out["computer_time"] = TimeJson(now);
  out["box_ahead_seconds"] = ahead;
  return json.Finish(out, kExitOk);
}

int TimeSet(const CConfiguration& config, const CliOptions& options) {
  const auto& args = options.Positional();
  std::optional<int64_t> chosen;
  if (args.size() == 3) {
    if (options.Has("system")) {
      std::fprintf(stderr, "Give either --system or a date and time.\n");
      return kExitError;
    }
    chosen = ParseDateTime(args[1], args[2]);
    if (!chosen || *chosen < kEarliest || *chosen > kLatest) {
      std::fprintf(stderr, "\"%s %s\" is not a date and time from 2000-01-01 00:00:00 to 2099-12-12 23:59:59.\n",
                   args[1].c_str(), args[2].c_str());
      return kExitError;
    }
  } else if (args.size() != 1) {
    std::fprintf(stderr, "%s", kUsage);
    return kExitError;
  }
  LinkSession session;
  session.Choose(config);
  LinkLease lease = LeaseOrReport(session, false, "Can't find Photometer");
  if (!lease) return kExitError;
  // The computer's clock as late as possible, once the link is up.
  const int64_t time = chosen ? *chosen : NowUtc();
  const ComResult e = lease.Link().SetDateTime(time);
  lease.Release();
  if (e != ComResult::kOk) {
    std::fprintf(stderr, "Set time/date error\n");
    return kExitError;
  }
  std::printf("%s\n", FormatUtc(time).c_str());
  std::fprintf(stderr, "Set time/date ok\n");
  return kExitOk;
}

int RunTime(CliContext& ctx) {
  const JsonOutput json(ctx.args);
  const Json out{{"command", "time get"}};
  CConfiguration config;
  auto options = ParseLinkCommand(ctx, {}, {"system", kJsonFlag}, config);
  if (!options) return json.Finish(out, kExitError);
  const auto& args = options->Positional();
  if (!args.empty() && args[0] == "get" && args.size() == 1 && !options->Has("system")) return TimeGet(config, json);
  if (!args.empty() && args[0] == "set" && !json.On()) return TimeSet(config, *options);
  NoteError("time takes get or set (--json with get only)");
  std::fprintf(stderr, "%s", kUsage);
  return json.Finish(out, kExitError);
}

const std::string& Help() {
  static const std::string text =
      std::string(kUsage) +
      "\nThe control box's clock runs on UTC.\n"
      "  get    prints the box's date and time (YYYY-MM-DD HH:MM:SS) on stdout, and on\n"
      "         stderr how far it is from the computer's UTC clock\n"
      "  set    sets the box's clock to the computer's UTC time (--system, the default)\n"
      "         or to the given UTC date and time, and prints the time sent\n\n"
      "Options:\n"
      "  --system                 set the computer's UTC time (the default)\n"
      "  --json                   get: the box's and the computer's time as one JSON object on stdout\n" +
      LinkOptionsHelp() + "\nExit code: 0 success, 1 error.\n";
  return text;
}

const CliCommandRegistrar registrar({"time", "read or set the control box's clock (UTC)", Help().c_str(), RunTime, 50});

}  // namespace
}  // namespace skyh::cli
