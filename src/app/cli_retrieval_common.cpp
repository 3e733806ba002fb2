#include "app/cli_retrieval_common.h"

#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "core/text_util.h"
#include "core/time_util.h"
#include "records/packed_time.h"

namespace skyh::cli {
namespace {
const char kBusyText[] = "Nothing done: the link is busy with another operation.";
}  // namespace

const std::set<std::string>& RetrievalOptionNames() {
  static const std::set<std::string> names{"files", "missing", "days"};
  return names;
}

const char* RetrievalOptionsHelp() {
  return "  --files DIR              folder for K8 and ASCII files (default: automatic/ascii_path)\n"
         "  --missing yes|no         only records newer than the last retrieval (default: retrieve_missing)\n"
         "  --days N                 at most N days back from the newest record, 1..30; 0: no day limit\n"
         "                           (default: retrieve_limited and retrieve_max_days)\n";
}

bool ApplyRetrievalOptions(const CliOptions& options, CConfiguration& config) {
  if (options.Has("files")) config.outputDirectory = options.Value("files");
  ApplyClockNeedsSync(options, config);
  if (options.Has("missing")) {
    std::string v = ToLowerAscii(options.Value("missing"));
    if (v == "yes" || v == "1") config.retrieveMissing = 1;
    else if (v == "no" || v == "0") config.retrieveMissing = 0;
    else {
      ReportError("--missing takes yes or no");
      return false;
    }
  }
  if (options.Has("days")) {
    const std::string v = options.Value("days");
    const int32_t days = ParseNumberField(v);
    if (v.empty() || days < 0 || days > 30) {
      ReportError("--days takes a number from 0 to 30");
      return false;
    }
    config.retrieveLimited = days > 0 ? 1 : 0;
    if (days > 0) config.retrieveMaxDays = days;
  }
  return true;
}

const char* ClockNeedsSyncHelp() {
  return "  --clock-needs-sync       set the box's clock (AutoSetTime) only while the computer's clock\n"
         "                           is synchronised (default: AutoSetTimeNeedsSync)\n";
}

void ApplyClockNeedsSync(const CliOptions& options, CConfiguration& config) {
  if (options.Has(kClockNeedsSyncFlag)) config.autoSetTimeNeedsSync = 1;
}

int64_t NowNanoseconds() {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

std::vector<std::string> FilesChangedSince(const std::string& folder, int64_t sinceNs) {
  std::vector<std::string> out;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    struct stat st;
    if (!entry.is_regular_file(ec) || ::stat(entry.path().c_str(), &st) != 0) continue;
    if (entry.path().filename() == "SkyHarvester.log") continue;
    if (int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec >= sinceNs) out.push_back(entry.path().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

void PrintRunSummary(const WorkerResult& result, const RecordStore& store, const std::vector<std::string>& files) {
  if (!result.status) {
    std::printf("%s\n", kBusyText);
    return;
  }
  std::printf("%s\n", result.text.c_str());
  if (result.status != RetrievalStatus::kError || store.Count() > 0) {
    std::printf("Instrument: %s\n", store.headNumber.empty() ? "unknown" : store.headNumber.c_str());
    std::printf("Records: %d (%d unknown)\n", store.Count(), store.UnknownCount());
    const StoreSummary summary = SummariseStore(store);
    if (summary.first > 0) {
      std::printf("From: %s UTC\nTo:   %s UTC\n", FormatDateTime(summary.first).c_str(),
                  FormatDateTime(summary.last).c_str());
    }
  }
  for (const std::string& f : files) std::printf("Written: %s\n", f.c_str());
  for (const std::string& p : result.problems) std::fprintf(stderr, "%s", p.c_str());
}

Json RunJson(const char* command, const WorkerResult& result, const RecordStore& store,
             const std::vector<std::string>& files) {
  const bool busy = !result.status;
  const StoreSummary summary = SummariseStore(store);
  Json run{{"command", command}};
  run["result"] = busy ? "busy" : RunResultName(RunResultOf(result));
  run["result_text"] = busy ? kBusyText : result.text;
  run["stop_reason"] = busy ? "busy" : StopReasonName(result.outcome.stopReason);
  run["instrument"] = store.headNumber.empty() ? Json() : Json(store.headNumber);
  run["records"] = RecordsJson(summary);
  run["first_time"] = TimeJson(summary.first);
  run["last_time"] = TimeJson(summary.last);
  run["files"] = files;
  Json problems = Json::array();
  for (const std::string& p : result.problems) problems.push_back(WithoutTrailingNewlines(p));
  run["problems"] = problems;
  run["error"] = busy ? Json(kBusyText) : result.error.empty() ? Json() : Json(result.error);
  run["exit_code"] = RunExitCode(result);
  return run;
}

int RunExitCode(const WorkerResult& result) {
  switch (RunResultOf(result)) {
    case RunResult::kOk: return kExitOk;
    case RunResult::kAborted: return kExitAborted;
    case RunResult::kError: break;
  }
  return kExitError;
}

}  // namespace skyh::cli
