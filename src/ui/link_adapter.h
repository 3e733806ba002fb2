#pragma once
// Everything the window does with the control box goes through here: the
// process's link session, the retrieval workers and the board commands.
#include <memory>
#include <string>

#include "core/configuration.h"
#include "core/progress.h"
#include "data/retrieval_workers.h"
#include "link/link_session.h"
#include "ui/dialogs/link_access.h"

namespace skyh::ui {

class LinkAdapter {
 public:
  LinkAdapter() : session_(std::make_unique<LinkSession>()) {}

  // Chooses the active link from the configured type.
  void Select(const CConfiguration& config) { session_->Choose(config); }
  // Tests put their own link in place of the configured ones (not owned);
  // not while a lease is out.
  void UseLink(CCom* link) { session_ = link ? std::make_unique<LinkSession>(*link) : std::make_unique<LinkSession>(); }
  LinkSession& Session() { return *session_; }
  CCom& Active() { return session_->Active(); }
  bool IsUsb() { return dynamic_cast<CComUsb*>(&Active()) != nullptr; }
  std::string Description() { return Active().GetDescription(); }
  // The session, for the dialogs that ask for it at a button press.
  LinkProvider Provider() { return [this] { return &Session(); }; }

  // The two retrieval workers, run on a worker thread; the retrieved records
  // come back in the result's outcome.store.
  WorkerResult RunInteractive(const CConfiguration& config, const std::string& iniPath, IProgressSink& progress,
                              IStatusLine& status);
  WorkerResult RunAutomatic(const CConfiguration& config, const std::string& iniPath, IProgressSink& progress,
                            IStatusLine& status);

  // Reset and clear flash: a lease with the operator's wait, the command,
  // release. False when the link is busy, does not open or the box refuses.
  bool ResetBoard() { return BoardCommand(&CCom::ResetBoard); }
  bool ClearFlash() { return BoardCommand(&CCom::ClearFlash); }

  int pauseMs = 1000;  // after a retrieval, before the end of the session

 private:
  bool BoardCommand(ComResult (CCom::*command)());
  WorkerResult Run(bool automatic, const CConfiguration& config, const std::string& iniPath,
                   IProgressSink& progress, IStatusLine& status);

  std::unique_ptr<LinkSession> session_;
};

}  // namespace skyh::ui
