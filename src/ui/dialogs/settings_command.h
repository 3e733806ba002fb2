#pragma once
// The window's "Settings" command: the items of the store's settings
// record in the editor, written back on OK when something changed, and
// sent to the control box after closing on a worker thread.
#include <QObject>
#include <functional>
#include <memory>

#include "core/configuration.h"
#include "core/progress.h"
#include "data/record_store.h"
#include "ui/dialogs/dialog_worker.h"
#include "ui/dialogs/link_access.h"

class QWidget;

namespace skyh::ui {

class CSettingsDlg;

class SettingsCommand : public QObject {
  Q_OBJECT

 public:
  // `progress` and `status` are shown by the caller while the sender runs.
  SettingsCommand(RecordStore& store, const CConfiguration& config, LinkProvider link, IProgressSink& progress,
                  IStatusLine& status, QObject* parent = nullptr);

  // How the editor runs; tests replace it. Gives the dialog's result code.
  using EditorRunner = std::function<int(CSettingsDlg&)>;
  void SetEditorRunner(EditorRunner runner) { runEditor_ = std::move(runner); }
  // The pause after the exchange (the sender's 1000 ms).
  void SetSendPauseMs(int ms) { pauseMs_ = ms; }

  enum Outcome { kNothing, kUnchanged, kChanged };
  // Runs the command; kChanged when the store's settings were rewritten (the
  // window then sets its modified flag). Starts the sender when asked to.
  Outcome Run(QWidget* parent);
  bool Sending() const { return worker_.Running(); }
  DialogWorker& Worker() { return worker_; }

 signals:
  // Before the worker starts: the caller shows its progress display.
  void SendStarted();
  // The sender's result: 0 written, 1 not.
  void SendFinished(int result);

 private:
  RecordStore& store_;
  const CConfiguration& config_;
  LinkProvider link_;
  IProgressSink& progress_;
  IStatusLine& status_;
  EditorRunner runEditor_;
  int pauseMs_ = 1000;
  DialogWorker worker_;
};

}  // namespace skyh::ui
