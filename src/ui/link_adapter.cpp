#include "ui/link_adapter.h"

namespace skyh::ui {

void LinkAdapter::Select(const CConfiguration& config) { selected_ = &links_.Select(config); }

CCom& LinkAdapter::Active() {
  if (override_) return *override_;
  return selected_ ? *selected_ : links_.Active();
}

WorkerResult LinkAdapter::Run(bool automatic, const CConfiguration& config, const std::string& iniPath,
                              RecordStore& store, IProgressSink& progress, IStatusLine& status) {
  RetrievalWorkerEnv env{Active(), lock_, config, iniPath, store, progress, status, pauseMs};
  return automatic ? RunAutomaticRetrieval(env) : RunInteractiveRetrieval(env);
}

WorkerResult LinkAdapter::RunInteractive(const CConfiguration& config, const std::string& iniPath, RecordStore& store,
                                         IProgressSink& progress, IStatusLine& status) {
  return Run(false, config, iniPath, store, progress, status);
}

WorkerResult LinkAdapter::RunAutomatic(const CConfiguration& config, const std::string& iniPath, RecordStore& store,
                                       IProgressSink& progress, IStatusLine& status) {
  return Run(true, config, iniPath, store, progress, status);
}

bool LinkAdapter::BoardCommand(ComResult (CCom::*command)()) {
  // The window thread does not wait for a retrieval to end.
  CommunicationLockHolder hold(lock_, 0);
  if (!hold.Held()) return false;
  CCom& link = Active();
  if (!link.Open()) return false;
  bool ok = (link.*command)() == kComOk;
  link.Close();
  return ok;
}

}  // namespace skyh::ui
