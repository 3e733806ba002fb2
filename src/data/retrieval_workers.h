#pragma once
// The two workers around a retrieval: the interactive "Get records" command
// and the automatic run of the schedule.
#include <optional>
#include <string>
#include <vector>

#include "core/configuration.h"
#include "core/progress.h"
#include "data/record_store.h"
#include "data/retrieval.h"
#include "data/run_record.h"
#include "link/link_session.h"

namespace skyh {

struct RetrievalWorkerEnv {
  LinkSession& session;
  CConfiguration config;
  std::string iniPath;
  IProgressSink& progress;
  IStatusLine& status;
  int pauseMs = 1000;  // the pause after a retrieval, before the end of the session
  HeadNumberReader readHeadNumber;
};

// What a worker did. The retrieved records are in `outcome.store` (see
// TakeRetrievedStore), for the caller to swap in on its own thread once the
// worker has ended. `status` is none when the lock could not be taken (the
// run is dropped and the progress display closed at once).
struct WorkerResult {
  std::optional<RetrievalStatus> status;
  bool filesWritten = true;  // snapshot or exports all written
  std::string text;          // the final status-line text
  // What went wrong beside the status, each text logged already: damaged
  // files moved aside, "last" that could not be written.
  std::vector<std::string> problems;
  // Why a run that is not "ok" failed (the link's or the walk's error text,
  // else the first problem); empty for "ok" and aborted runs.
  std::string error;
  RetrievalOutcome outcome;
};

// ok: finished with every file written and no problem.
RunResult RunResultOf(const WorkerResult& result);

// Both workers record each run that took the link in the instrument's INI
// section (data/run_record.h).

// "Get records": a K8 snapshot of the store after a finished or aborted run;
// "last" moves only once the snapshot of a finished run was written.
WorkerResult RunInteractiveRetrieval(RetrievalWorkerEnv& env);

// The automatic run: per-period K8 and ASCII exports after a finished run,
// leaving out the record that ended the walk (already exported by an
// earlier run); "last" moves only once every enabled export was written.
WorkerResult RunAutomaticRetrieval(RetrievalWorkerEnv& env);

}  // namespace skyh
