#include "data/retrieval_workers.h"

#include <chrono>
#include <thread>

#include "core/log_file.h"
#include "core/time_util.h"
#include "data/ascii_export.h"
#include "data/k8_export.h"

namespace skyh {
namespace {

void Pause(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// The end of every session: EndSession unless the run failed, then close.
void StopCommunication(RetrievalWorkerEnv& env, LinkLease& lease, RetrievalStatus status) {
  env.progress.SetText("Stopping communication...");
  lease.EndSessionOnRelease(status != RetrievalStatus::kError);
  lease.Release();
}

// The records a run adds: all but the one that ended the walk.
void CopyNewRecords(const RecordStore& from, const RetrievalOutcome& outcome, RecordStore& to) {
  if (const CRecord* header = from.Header()) to.SetHeader(header->raw(), header->length());
  to.scenarioKey = from.scenarioKey;
  to.headNumber = from.headNumber;
  const int32_t count = outcome.endedAtStopRecord && from.Count() > 0 ? from.Count() - 1 : from.Count();
  for (int32_t i = 0; i < count; ++i) to.AddCopy(from.At(i)->raw(), from.At(i)->length());
}

// What the walk collected (a finished or aborted walk always has a store).
const RecordStore& Retrieved(const WorkerResult& result) {
  static const RecordStore none;
  return result.outcome.store ? *result.outcome.store : none;
}

// "last" follows a finished run once its files are written.
void MoveLast(RetrievalWorkerEnv& env, WorkerResult& result) {
  const RetrievalOutcome& o = result.outcome;
  if (!o.lastDue || WriteLastKey(env.iniPath, o.headNumber, o.newest, o.newestFingerprint)) return;
  const std::string text = LastNotWrittenText(env.iniPath);
  LogLine("%s", text);
  result.problems.push_back(text);
}

std::string WithoutLineEnd(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

// The run's time and result beside "last", once everything else is decided.
void RecordRun(RetrievalWorkerEnv& env, WorkerResult& result) {
  const RunResult run = RunResultOf(result);
  if (run == RunResult::kError && result.error.empty())
    result.error = WithoutLineEnd(!result.problems.empty() ? result.problems.front() : result.text);
  if (!WriteRunRecord(env.iniPath, result.outcome.headNumber, NowUtc(), run, result.error))
    LogLine("Run not recorded in \"%s\"\n", env.iniPath);
}

// Common start: lock, titles, open. False when the run ends here.
bool BeginRun(RetrievalWorkerEnv& env, LinkLease& lease, WorkerResult& result) {
  lease = env.session.Acquire(LinkSession::kWorkerWaitMs, true, [&env] {
    env.progress.SetTitle("Get records");
    env.progress.SetText("Please wait...");
    env.status.SetStatus("Retrieving data...");
  });
  if (lease.Error() == LeaseError::kBusy) {
    LogLine("Communication busy: retrieval dropped\n");
    env.progress.CloseAfter(0);
    return false;
  }
  if (!lease) {
    result.status = RetrievalStatus::kError;
    result.text = "Retrieve data error.";
    env.status.SetStatus(result.text);
    env.progress.SetText(lease.ErrorText());
    env.progress.CloseAfter(2000);
    result.outcome.stopReason = StopReason::kError;
    result.error = WithoutLineEnd(lease.ErrorText());
    RecordRun(env, result);
    return false;
  }
  return true;
}

// The frame both workers share: lock, open, retrieve, pause, what the
// worker writes (`conclude` sets the texts and files), end of session.
template <typename Conclude>
WorkerResult RunWorker(RetrievalWorkerEnv& env, Conclude conclude) {
  WorkerResult result;
  LinkLease lease;
  if (!BeginRun(env, lease, result)) return result;

  // "last" waits for the files: the conclusion moves it.
  RetrievalEnv renv{lease.Link(), env.config, env.iniPath, env.progress, env.status, true, env.readHeadNumber, {}};
  result.outcome = Retrieve(renv);
  result.status = result.outcome.status;
  Pause(env.pauseMs);
  if (result.status == RetrievalStatus::kError) result.text = "Retrieve data error.";
  else conclude(result);
  result.error = result.outcome.errorText;
  RecordRun(env, result);
  env.status.SetStatus(result.text);
  StopCommunication(env, lease, result.outcome.status);
  env.progress.CloseAfter(2000);
  return result;
}

}  // namespace

RunResult RunResultOf(const WorkerResult& result) {
  if (result.status == RetrievalStatus::kAborted) return RunResult::kAborted;
  if (result.status == RetrievalStatus::kFinished && result.filesWritten && result.problems.empty()) return RunResult::kOk;
  return RunResult::kError;
}

WorkerResult RunInteractiveRetrieval(RetrievalWorkerEnv& env) {
  return RunWorker(env, [&](WorkerResult& result) {
    const std::string& folder = env.config.outputDirectory;
    result.filesWritten = SaveK8Snapshot(Retrieved(result), folder, env.config.baseName, &result.problems) == 0;
    result.text =
        std::string(result.status == RetrievalStatus::kFinished ? "Retrieve data OK. " : "Retrieve data aborted. ");
    result.text += (result.filesWritten ? "Saved to\"" : "Can't save to\"") + folder + "\" directory.";
    if (result.status != RetrievalStatus::kFinished) return;
    if (result.filesWritten) MoveLast(env, result);
    else LogLine("Snapshot failed: \"last\" left unchanged\n");
  });
}

WorkerResult RunAutomaticRetrieval(RetrievalWorkerEnv& env) {
  return RunWorker(env, [&](WorkerResult& result) {
    if (result.status == RetrievalStatus::kAborted) {
      result.text = "Retrieve data aborted.";
      return;
    }
    result.text = "Retrieve data OK.";
    RecordStore fresh;
    CopyNewRecords(Retrieved(result), result.outcome, fresh);
    const FileNaming naming{env.config.baseName, env.config.filesPeriod};
    if (env.config.createK8 && ExportK8ByPeriod(fresh, env.config.outputDirectory, naming, &result.problems) != 0)
      result.filesWritten = false;
    if (env.config.createAscii && ExportAsciiByPeriod(fresh, env.config.outputDirectory, naming) != 0)
      result.filesWritten = false;
    if (result.filesWritten) {
      MoveLast(env, result);
    } else {
      // Keep "last" where it was, so the next run fetches these records again.
      result.text = "Retrieve data OK, but the files could not all be written.";
      LogLine("Export failed: \"last\" left unchanged\n");
    }
  });
}

}  // namespace skyh
