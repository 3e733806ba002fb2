#include "ui/link_adapter.h"

#include "settings/instrument_info.h"

namespace skyh::ui {

WorkerResult LinkAdapter::Run(bool automatic, const CConfiguration& config, const std::string& iniPath,
                              IProgressSink& progress, IStatusLine& status) {
  RetrievalWorkerEnv env{*session_, config, iniPath, progress, status, pauseMs, SetHeadNumberFromSettings};
  return automatic ? RunAutomaticRetrieval(env) : RunInteractiveRetrieval(env);
}

WorkerResult LinkAdapter::RunInteractive(const CConfiguration& config, const std::string& iniPath,
                                         IProgressSink& progress, IStatusLine& status) {
  return Run(false, config, iniPath, progress, status);
}

WorkerResult LinkAdapter::RunAutomatic(const CConfiguration& config, const std::string& iniPath,
                                       IProgressSink& progress, IStatusLine& status) {
  return Run(true, config, iniPath, progress, status);
}

bool LinkAdapter::BoardCommand(ComResult (CCom::*command)()) {
  LinkLease lease = session_->Acquire(LinkSession::kOperatorWaitMs);
  if (!lease) return false;
  return (lease.Link().*command)() == ComResult::kOk;
}

}  // namespace skyh::ui
