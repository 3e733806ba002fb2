// skyharvester-cli status: what the retrievals left in the INI, per instrument.
#include <cstdio>

#include "app/cli_json.h"
#include "app/cli_session.h"
#include "core/ini_file.h"
#include "data/run_record.h"

namespace skyh::cli {
namespace {

std::string TimeText(const std::optional<int64_t>& time) { return time ? FormatUtc(*time) + " UTC" : "never"; }

Json TimeField(const std::optional<int64_t>& time) { return time ? TimeJson(*time) : Json(); }

int RunStatus(CliContext& ctx) {
  const JsonOutput json(ctx.args);
  const std::string& path = ctx.paths.iniPath;
  Json out{{"command", "status"}, {"configuration", path}};
  CliOptions options(ctx.args, {}, {kJsonFlag});
  if (!options.Ok() || !options.Positional().empty()) {
    ReportError(options.Ok() ? "status takes no argument" : options.Error());
    std::fprintf(stderr, "Usage: skyharvester-cli status [--json]\n");
    return json.Finish(out, kExitError);
  }
  std::string reason;
  if (!CIniFile(path, true).CheckReadable(&reason)) {
    ReportError("Can't read " + path + ": " + reason);
    return json.Finish(out, kExitError);
  }

  Json instruments = Json::array();
  const std::vector<InstrumentRunState> states = ReadRunStates(path);
  if (states.empty()) std::printf("No instrument retrieved with %s yet.\n", path.c_str());
  for (const InstrumentRunState& s : states) {
    const std::string result = s.lastRunResult.empty() ? "unknown" : s.lastRunResult;
    std::printf("head_%s\n", s.headNumber.c_str());
    std::printf("  last successful retrieval: %s\n", TimeText(s.lastSuccess).c_str());
    std::printf("  newest record (last):      %s\n", TimeText(s.last).c_str());
    std::printf("  last run:                  %s, %s%s%s\n", TimeText(s.lastRun).c_str(), result.c_str(),
                s.lastRunError.empty() ? "" : ": ", s.lastRunError.c_str());
    instruments.push_back({{"head", s.headNumber},
                           {"last_success", TimeField(s.lastSuccess)},
                           {"last", TimeField(s.last)},
                           {"last_run", TimeField(s.lastRun)},
                           {"last_run_result", s.lastRunResult.empty() ? Json() : Json(s.lastRunResult)},
                           {"last_run_error", s.lastRunError.empty() ? Json() : Json(s.lastRunError)}});
  }
  out["instruments"] = instruments;
  return json.Finish(out, kExitOk);
}

const CliCommandRegistrar registrar(
    {"status", "when each instrument was last retrieved, for monitoring",
     "Usage: skyharvester-cli status [--json]\n\n"
     "For every instrument section (head_NNNN) of the INI in use, prints the time of the\n"
     "last successful retrieval (key last_success), the newest record's time (last), and\n"
     "the time and result of the last run (last_run, last_run_result: ok, error or\n"
     "aborted, with last_run_error). Every retrieval, from this tool or the window,\n"
     "writes these keys; a run that could not tell which instrument it reached (no\n"
     "link, no settings) is written to the instrument that ran last. Times are UTC;\n"
     "a key never written shows as never or unknown (null in JSON).\n\n"
     "Options:\n"
     "  --json                   the same as one JSON object on stdout\n\n"
     "Exit code: 0 when the INI could be read, 1 otherwise.\n",
     RunStatus, 25});

}  // namespace
}  // namespace skyh::cli
