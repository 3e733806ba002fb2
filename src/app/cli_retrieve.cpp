// skyharvester-cli retrieve: one "Get records" with the configured link.
#include <cstdio>

#include "app/cli_json.h"
#include "app/cli_link.h"
#include "app/cli_progress.h"
#include "app/cli_retrieval_common.h"
#include "app/cli_session.h"
#include "core/folders.h"
#include "settings/instrument_info.h"

namespace skyh::cli {
namespace {

int RunRetrieve(CliContext& ctx) {
  const JsonOutput json(ctx.args);
  std::set<std::string> withValue = LinkOptionNames();
  withValue.insert(RetrievalOptionNames().begin(), RetrievalOptionNames().end());
  CliOptions options(ctx.args, withValue, {"export", kClockNeedsSyncFlag, kJsonFlag});
  if (!options.Ok() || !options.Positional().empty()) {
    ReportError(options.Ok() ? "unexpected argument" : options.Error());
    std::fprintf(stderr, "Usage: skyharvester-cli retrieve [options] (see --help)\n");
    return json.Finish({{"command", "retrieve"}}, kExitError);
  }
  CConfiguration config = ctx.config;
  if (!ApplyLinkOptions(options, config) || !ApplyRetrievalOptions(options, config))
    return json.Finish({{"command", "retrieve"}}, kExitError);
  config.outputDirectory = WithSlash(config.outputDirectory);

  LinkSession session;
  session.Choose(config);
  RecordStore store;
  TerminalProgress progress;
  TerminalStatusLine status(progress);
  RetrievalWorkerEnv env{session, config, ctx.paths.iniPath, progress, status, 1000, SetHeadNumberFromSettings};

  InterruptGuard interrupts;  // Ctrl-C is the Abort button: records so far are kept and saved
  const int64_t started = NowNanoseconds();
  WorkerResult result = options.Has("export") ? RunAutomaticRetrieval(env) : RunInteractiveRetrieval(env);
  TakeRetrievedStore(result.outcome, store);
  progress.EndLine();
  std::vector<std::string> files;
  if (!config.outputDirectory.empty()) files = FilesChangedSince(config.outputDirectory, started);
  PrintRunSummary(result, store, files);
  if (json.On()) json.Emit(RunJson("retrieve", result, store, files));
  return RunExitCode(result);
}

const std::string kHelp = std::string(
     "Usage: skyharvester-cli retrieve [options]\n\n"
     "Does what the window's \"Get records\" does with the configuration in SkyHarvester.ini:\n"
     "checks the box's clock (AutoSetTime), reads its settings, walks its records from the\n"
     "newest back to the stop point, writes a K8 snapshot of the records into the files folder\n"
     "and then the \"last\" key. With --export it writes the per-period K8 and ASCII files of\n"
     "automatic retrieval instead (automatic/k8, ascii, RecPeriod, basename). Records already\n"
     "at the end of a file are not appended again; a K8 file damaged other than by a cut-off\n"
     "end is moved aside (NAME.damaged-<UTC time>) and started afresh.\n\n"
     "Options:\n"
     "  --export                 write the per-period K8/ASCII files instead of a snapshot\n") +
    LinkOptionsHelp() + RetrievalOptionsHelp() + ClockNeedsSyncHelp() + kJsonHelp +
    "\nProgress goes to stderr, the summary to stdout. Ctrl-C aborts like the Abort button:\n"
     "the records received so far are kept and saved. Exit code 0 success, 1 error (also when a\n"
     "file could not be written, a damaged file was moved aside or \"last\" could not be\n"
     "written), 2 aborted.\n";

const CliCommandRegistrar registrar(
    {"retrieve", "retrieve the records from the control box", kHelp.c_str(), RunRetrieve, 10});

}  // namespace
}  // namespace skyh::cli
