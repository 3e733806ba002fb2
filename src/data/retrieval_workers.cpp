#include "data/retrieval_workers.h"

#include <chrono>
#include <thread>

#include "core/log_file.h"
#include "data/ascii_export.h"
#include "data/k8_export.h"
#include "link/media_steps.h"

namespace skyh {
namespace {

void Pause(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// The end of every session: EndSession unless the run failed, then close.
void StopCommunication(RetrievalWorkerEnv& env, int status) {
  env.progress.SetText("Stopping communication...");
  if (status != kRetrievalError) env.link.EndSession();
  CloseMedia(env.link);
}

// The records a run adds: all but the one that ended the walk.
void CopyNewRecords(const RecordStore& from, const RetrievalOutcome& outcome, RecordStore& to) {
  if (const CRecord* header = from.Header()) to.SetHeader(header->raw(), header->length());
  to.scenarioKey = from.scenarioKey;
  to.headNumber = from.headNumber;
  const int32_t count = outcome.endedAtStopRecord && from.Count() > 0 ? from.Count() - 1 : from.Count();
  for (int32_t i = 0; i < count; ++i) to.AddCopy(from.At(i)->raw(), from.At(i)->length());
}

// "last" follows a finished run once its files are written.
void MoveLast(RetrievalWorkerEnv& env, WorkerResult& result) {
  const RetrievalOutcome& o = result.outcome;
  if (!o.lastDue || WriteLastKey(env.iniPath, o.headNumber, o.newest, o.newestFingerprint)) return;
  const std::string text = LastNotWrittenText(env.iniPath);
  LogLine("%s", text);
  result.problems.push_back(text);
}

// Common start: lock, titles, open. False when the run ends here.
bool BeginRun(RetrievalWorkerEnv& env, CommunicationLockHolder& holder, WorkerResult& result) {
  if (!holder.Held()) {
    LogLine("Communication busy: retrieval dropped\n");
    env.progress.CloseAfter(0);
    return false;
  }
  env.progress.SetTitle("Get records");
  env.progress.SetText("Please wait...");
  env.status.SetStatus("Retrieving data...");
  if (!OpenMedia(env.link)) {
    result.status = kRetrievalError;
    result.text = "Retrieve data error.";
    env.status.SetStatus(result.text);
    env.progress.SetText(env.link.GetLastErrorText());
    env.progress.CloseAfter(2000);
    return false;
  }
  return true;
}

// The frame both workers share: lock, open, retrieve, pause, what the
// worker writes (`conclude` sets the texts and files), end of session.
template <typename Conclude>
WorkerResult RunWorker(RetrievalWorkerEnv& env, Conclude conclude) {
  WorkerResult result;
  CommunicationLockHolder holder(env.lock, CommunicationLock::kWorkerWaitMs);
  if (!BeginRun(env, holder, result)) return result;

  // "last" waits for the files: the conclusion moves it.
  RetrievalEnv renv{env.link, env.config, env.iniPath, env.progress, env.status, true, env.readHeadNumber};
  result.status = Retrieve(renv, env.store, &result.outcome);
  Pause(env.pauseMs);
  if (result.status == kRetrievalError) result.text = "Retrieve data error.";
  else conclude(result);
  env.status.SetStatus(result.text);
  StopCommunication(env, result.status);
  env.progress.CloseAfter(2000);
  return result;
}

}  // namespace

WorkerResult RunInteractiveRetrieval(RetrievalWorkerEnv& env) {
  return RunWorker(env, [&](WorkerResult& result) {
    const std::string& folder = env.config.outputDirectory;
    result.filesWritten = SaveK8Snapshot(env.store, folder, env.config.baseName, &result.problems) == 0;
    result.text = std::string(result.status == kRetrievalFinished ? "Retrieve data OK. " : "Retrieve data aborted. ");
    result.text += (result.filesWritten ? "Saved to\"" : "Can't save to\"") + folder + "\" directory.";
    if (result.status != kRetrievalFinished) return;
    if (result.filesWritten) MoveLast(env, result);
    else LogLine("Snapshot failed: \"last\" left unchanged\n");
  });
}

WorkerResult RunAutomaticRetrieval(RetrievalWorkerEnv& env) {
  return RunWorker(env, [&](WorkerResult& result) {
    if (result.status == kRetrievalAborted) {
      result.text = "Retrieve data aborted.";
      return;
    }
    result.text = "Retrieve data OK.";
    RecordStore fresh;
    CopyNewRecords(env.store, result.outcome, fresh);
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
