// skyharvester-cli auto: runs the automatic retrieval schedule until stopped.
#include <chrono>
#include <cstdio>
#include <thread>

#include "app/cli_json.h"
#include "app/cli_link.h"
#include "app/cli_progress.h"
#include "app/cli_retrieval_common.h"
#include "app/cli_session.h"
#include "core/folders.h"
#include "core/log_file.h"
#include "core/power_request.h"
#include "core/text_util.h"
#include "core/time_util.h"
#include "data/auto_schedule.h"
#include "records/packed_time.h"
#include "settings/instrument_info.h"

namespace skyh::cli {
namespace {

// Progress of unattended runs: the signals end the loop after the run, they
// do not abort it.
class RunProgress : public IProgressSink {
 public:
  explicit RunProgress(TerminalProgress& out) : out_(out) {}
  void SetTitle(const std::string& t) override { out_.SetTitle(t); }
  void SetText(const std::string& t) override { out_.SetText(t); }
  void SetCounter(const std::string& t, const ProgressCounter& c) override { out_.SetCounter(t, c); }
  bool Aborted() override { return false; }
  void CloseAfter(int ms) override { out_.CloseAfter(ms); }

 private:
  TerminalProgress& out_;
};

// "HH:MM:SS" to seconds; -1 when malformed.
int ParseStartTime(const std::string& text) {
  std::vector<std::string> parts = SplitFields(text, ":");
  if (parts.size() < 2 || parts.size() > 3) return -1;
  int h = ParseNumberField(parts[0]), m = ParseNumberField(parts[1]);
  int s = parts.size() == 3 ? ParseNumberField(parts[2]) : 0;
  if (h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59) return -1;
  return h * 3600 + m * 60 + s;
}

// The next firing second after `now`, looking up to the longest period ahead.
int64_t NextRun(const CConfiguration& config, int64_t now) {
  for (int64_t t = now + 1; t <= now + 11 * 86400; ++t)
    if (ScheduleFires(config, t)) return t;
  return -1;
}

// Usage errors: the JSON object says so too.
int Refuse(const JsonOutput& json, const std::string& text) {
  if (!text.empty()) ReportError(text);
  return json.Finish({{"command", "auto"}}, kExitError);
}

int RunAuto(CliContext& ctx) {
  const JsonOutput json(ctx.args);
  std::set<std::string> withValue = LinkOptionNames();
  withValue.insert(RetrievalOptionNames().begin(), RetrievalOptionNames().end());
  withValue.insert({"start", "period", "every-days", "max-runs"});
  CliOptions options(ctx.args, withValue, {"enable", kClockNeedsSyncFlag, kJsonFlag});
  if (!options.Ok() || !options.Positional().empty()) {
    ReportError(options.Ok() ? "unexpected argument" : options.Error());
    std::fprintf(stderr, "Usage: skyharvester-cli auto [options] (see --help)\n");
    return Refuse(json, "");
  }
  CConfiguration config = ctx.config;
  if (!ApplyLinkOptions(options, config) || !ApplyRetrievalOptions(options, config)) return Refuse(json, "");
  config.outputDirectory = WithSlash(config.outputDirectory);
  if (options.Has("enable")) config.automaticEnabled = 1;
  if (options.Has("start")) {
    int start = ParseStartTime(options.Value("start"));
    if (start < 0) return Refuse(json, "--start takes a UTC time of day HH:MM:SS");
    config.SetStartSeconds(start);
  }
  if (options.Has("period")) {
    static const char* const names[] = {"1h", "2h", "3h", "4h", "6h", "8h", "12h", "days"};
    int index = -1;
    for (int i = 0; i < 8; ++i)
      if (EqualsNoCase(options.Value("period"), names[i])) index = i;
    if (index < 0) return Refuse(json, "--period takes 1h, 2h, 3h, 4h, 6h, 8h, 12h or days");
    config.retrievalPeriod = static_cast<uint8_t>(index);
  }
  if (options.Has("every-days")) {
    int days = ParseNumberField(options.Value("every-days"));
    if (days < 1 || days > 10) return Refuse(json, "--every-days takes a number from 1 to 10");
    config.periodDays = static_cast<uint8_t>(days);
  }
  int maxRuns = -1;
  if (options.Has("max-runs")) {
    maxRuns = ParseNumberField(options.Value("max-runs"));
    if (maxRuns < 1) return Refuse(json, "--max-runs takes a positive number");
  }
  if (!config.automaticEnabled)
    return Refuse(json, "Automatic retrieval is not enabled (automatic/enable = 0 in " + ctx.paths.iniPath +
                            "); give --enable to run the schedule anyway.");

  LinkSession session;
  session.Choose(config);
  TerminalProgress terminal;
  RunProgress progress(terminal);
  TerminalStatusLine status(terminal);
  PowerRequest power;
  AutomaticScheduler scheduler;
  InterruptGuard interrupts;

  const int64_t firstRun = NextRun(config, NowUtc());
  terminal.PrintLine(Sprintf("Automatic retrieval every %s from %02d:%02d:%02d UTC; next run at %s UTC.",
                             config.retrievalPeriod == 7 ? Sprintf("%d day(s)", config.periodDays)
                                                         : std::string(RetrievalPeriodName(config.retrievalPeriod)),
                             config.startHour, config.startMinute, config.startSecond,
                             firstRun > 0 ? FormatDateTime(firstRun) : std::string("never")));
  LogLine("Automatic retrieval started from the command line\n");

  int runs = 0, failures = 0;
  while (!InterruptRequested() && (maxRuns < 0 || runs < maxRuns)) {
    AutomaticScheduler::Tick tick = scheduler.OnTick(config, NowUtc());
    if (tick.powerRequest) power.Set(tick.keepAwake);
    if (tick.startRun) {
      RecordStore store;
      RetrievalWorkerEnv env{session, config, ctx.paths.iniPath, progress, status, 1000, SetHeadNumberFromSettings};
      const int64_t started = NowNanoseconds();
      WorkerResult result = RunAutomaticRetrieval(env);
      TakeRetrievedStore(result.outcome, store);
      terminal.EndLine();
      const std::vector<std::string> files = FilesChangedSince(config.outputDirectory, started);
      PrintRunSummary(result, store, files);
      std::fflush(stdout);
      if (json.On()) json.Emit(RunJson("auto", result, store, files));
      ++runs;
      if (RunExitCode(result) != kExitOk) ++failures;
      const int64_t next = NextRun(config, NowUtc());
      if (next > 0 && (maxRuns < 0 || runs < maxRuns))
        terminal.PrintLine("Next run at " + FormatDateTime(next) + " UTC.");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  power.Set(false);
  LogLine("Automatic retrieval stopped after %d run(s)\n", runs);
  terminal.PrintLine(Sprintf("Stopped after %d run(s).", runs));
  return failures ? kExitError : kExitOk;
}

const std::string kHelp = std::string(
    "Usage: skyharvester-cli auto [options]\n\n"
    "Runs the automatic retrieval schedule of SkyHarvester.ini (section automatic: enable, period,\n"
    "day, start as UTC time of day) until SIGINT or SIGTERM, which end it after the current run.\n"
    "Each run retrieves the new records and writes the per-period K8 and ASCII files (k8, ascii,\n"
    "RecPeriod, basename, ascii_path); the computer is kept awake while it runs.\n\n"
    "Options:\n"
    "  --enable                 run even when automatic/enable is 0\n"
    "  --start HH:MM:SS         start time of the schedule, UTC (default: automatic/start)\n"
    "  --period P               1h, 2h, 3h, 4h, 6h, 8h, 12h or days (default: automatic/period)\n"
    "  --every-days N           with --period days: every N days, 1..10 (default: automatic/day)\n"
    "  --max-runs N             stop after N runs\n") +
    LinkOptionsHelp() + RetrievalOptionsHelp() + ClockNeedsSyncHelp() +
    "  --json                   each run's result as one JSON object, one line each, on stdout\n"
    "                           (text goes to stderr)\n"
    "\nExit code 0 when every run succeeded, 1 when one failed.\n";

const CliCommandRegistrar registrar({"auto", "run the automatic retrieval schedule", kHelp.c_str(), RunAuto, 20});

}  // namespace
}  // namespace skyh::cli
