#pragma once
// The one progress window: a title, one text line, an Abort button. Workers
// reach it only through a ProgressBridge's queued signals.
#include <QDialog>

#include "ui/bridge/progress_bridge.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace skyh::ui {

class CProgressDlg : public QDialog {
  Q_OBJECT

 public:
  CProgressDlg(ProgressBridge& bridge, QWidget* parent);

  // Clears the aborted flag, enables Abort, shows the dialog over the parent.
  void ShowFor(const QString& title);
  QString Text() const;
  bool AbortEnabled() const;
  // A worker ended: closes now unless its own close request is under way.
  void WorkerEnded();
  // The close delay workers ask for is scaled by this (tests use 0).
  double closeDelayScale = 1.0;

 signals:
  // The dialog ended (after the worker's close request and its delay).
  void ended();

 private slots:
  void OnAbort();
  void OnCloseRequested(int ms);

 protected:
  void reject() override { OnAbort(); }  // Escape and the close box are Abort too

 private:
  ProgressBridge& bridge_;
  QLabel* text_;
  QProgressBar* current_;
  QProgressBar* total_;
  QPushButton* abort_;
  QTimer* closeTimer_;
};

}  // namespace skyh::ui
