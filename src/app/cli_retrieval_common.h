#pragma once
// What `retrieve` and `auto` share: run options, the worker's environment
// and the report of what was written.
#include <string>
#include <vector>

#include "app/cli_commands.h"
#include "app/cli_json.h"
#include "app/cli_options.h"
#include "app/cli_progress.h"
#include "data/record_store.h"
#include "data/retrieval_workers.h"

namespace skyh::cli {

// Options that override the configuration for one run (besides the link).
const std::set<std::string>& RetrievalOptionNames();  // files, missing, days
const char* RetrievalOptionsHelp();
bool ApplyRetrievalOptions(const CliOptions& options, CConfiguration& config);

// The flag of every command that may run a retrieval: --clock-needs-sync
// (communication/AutoSetTimeNeedsSync on for this run).
constexpr const char* kClockNeedsSyncFlag = "clock-needs-sync";
const char* ClockNeedsSyncHelp();
void ApplyClockNeedsSync(const CliOptions& options, CConfiguration& config);

// The wall clock in nanoseconds, to compare with file times.
int64_t NowNanoseconds();
// Output files in `folder` (not below, not the log) changed at or after `sinceNs`.
std::vector<std::string> FilesChangedSince(const std::string& folder, int64_t sinceNs);

// Prints the outcome of one run on stdout, its problems on stderr.
void PrintRunSummary(const WorkerResult& result, const RecordStore& store, const std::vector<std::string>& files);

// The run as a JSON object: "command", "result", "result_text",
// "stop_reason", "instrument", "records", "first_time", "last_time", "files",
// "problems", "error" and "exit_code" (README: Machine-readable results).
Json RunJson(const char* command, const WorkerResult& result, const RecordStore& store,
             const std::vector<std::string>& files);

// Exit code of a run: 0 finished with every file written and no problem, 1
// error, 2 aborted.
int RunExitCode(const WorkerResult& result);

}  // namespace skyh::cli
