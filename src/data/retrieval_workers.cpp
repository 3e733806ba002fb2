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

// The records a run adds: those after the stop point (or without time).
void CopyNewRecords(const RecordStore& from, int64_t stopTime, RecordStore& to) {
  if (const CRecord* header = from.Header()) to.SetHeader(header->raw(), header->length());
  to.scenarioKey = from.scenarioKey;
  to.headNumber = from.headNumber;
  for (int32_t i = 0; i < from.Count(); ++i) {
    const CRecord* r = from.At(i);
    if (r->time() > 0 && r->time() <= stopTime) continue;
    to.AddCopy(r->raw(), r->length());
  }
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
WorkerResult RunWorker(RetrievalWorkerEnv& env, bool deferLast, Conclude conclude) {
  WorkerResult result;
  CommunicationLockHolder holder(env.lock, CommunicationLock::kWorkerWaitMs);
  if (!BeginRun(env, holder, result)) return result;

  RetrievalEnv renv{env.link, env.config, env.iniPath, env.progress, env.status, deferLast};
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
  return RunWorker(env, false, [&](WorkerResult& result) {
    const std::string& folder = env.config.outputDirectory;
    result.filesWritten = SaveK8Snapshot(env.store, folder, env.config.baseName) == 0;
    result.text = std::string(result.status == kRetrievalFinished ? "Retrieve data OK. " : "Retrieve data aborted. ");
    result.text += (result.filesWritten ? "Saved to\"" : "Can't save to\"") + folder + "\" directory.";
  });
}

WorkerResult RunAutomaticRetrieval(RetrievalWorkerEnv& env) {
  return RunWorker(env, true, [&](WorkerResult& result) {
    if (result.status == kRetrievalAborted) {
      result.text = "Retrieve data aborted.";
      return;
    }
    result.text = "Retrieve data OK.";
    RecordStore fresh;
    CopyNewRecords(env.store, result.outcome.stopTime, fresh);
    const FileNaming naming{env.config.baseName, env.config.filesPeriod};
    if (env.config.createK8 && ExportK8ByPeriod(fresh, env.config.outputDirectory, naming) != 0)
      result.filesWritten = false;
    if (env.config.createAscii && ExportAsciiByPeriod(fresh, env.config.outputDirectory, naming) != 0)
      result.filesWritten = false;
    if (result.filesWritten) {
      if (result.outcome.lastDue) WriteLastKey(env.iniPath, result.outcome.headNumber, result.outcome.newest);
    } else {
      // Keep "last" where it was, so the next run fetches these records again.
      result.text = "Retrieve data OK, but the files could not all be written.";
      LogLine("Export failed: \"last\" left unchanged\n");
    }
  });
}

}  // namespace skyh
