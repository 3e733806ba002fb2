#pragma once
// Everything the window does with the control box goes through here: the
// links and the choice among them, the communication lock, the retrieval
// workers and the board commands. One place to change when the link
// session of the core takes over.
#include <string>

#include "core/configuration.h"
#include "core/progress.h"
#include "data/record_store.h"
#include "data/retrieval_workers.h"
#include "link/communication_lock.h"
#include "link/link_selection.h"
#include "ui/dialogs/link_access.h"

namespace skyh::ui {

class LinkAdapter {
 public:
  // Chooses the active link from the configured type.
  void Select(const CConfiguration& config);
  // Tests put their own link in place of the configured one (not owned).
  void UseLink(CCom* link) { override_ = link; }
  CCom& Active();
  bool IsUsb() { return !override_ && &Active() == &links_.usb; }
  std::string Description() { return Active().GetDescription(); }
  // The active link and the lock, for the dialogs that ask at a button press.
  LinkAccess Access() { return {&Active(), &lock_}; }

  // The two retrieval workers, run on a worker thread; the store is the
  // run's own.
  WorkerResult RunInteractive(const CConfiguration& config, const std::string& iniPath, RecordStore& store,
                              IProgressSink& progress, IStatusLine& status);
  WorkerResult RunAutomatic(const CConfiguration& config, const std::string& iniPath, RecordStore& store,
                            IProgressSink& progress, IStatusLine& status);

  // Reset and clear flash: opens the link directly, sends the command,
  // closes. False when the link is busy, does not open or the box refuses.
  bool ResetBoard() { return BoardCommand(&CCom::ResetBoard); }
  bool ClearFlash() { return BoardCommand(&CCom::ClearFlash); }

  CommunicationLock& Lock() { return lock_; }
  int pauseMs = 1000;  // after a retrieval, before the end of the session

 private:
  bool BoardCommand(ComResult (CCom::*command)());
  WorkerResult Run(bool automatic, const CConfiguration& config, const std::string& iniPath, RecordStore& store,
                   IProgressSink& progress, IStatusLine& status);

  LinkSelection links_;
  CCom* selected_ = nullptr;
  CCom* override_ = nullptr;
  CommunicationLock lock_;
};

}  // namespace skyh::ui
