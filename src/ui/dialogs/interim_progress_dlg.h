#pragma once
// A small progress window for the dialogs' workers (title, one text line,
// Abort) and the status line they report to, fed through queued calls so
// that workers never touch widgets. Interim: the window's own progress
// dialog takes its place once both are wired together.
#include <QDialog>
#include <QString>
#include <atomic>

#include "core/progress.h"

class QLabel;
class QPushButton;

namespace skyh::ui {

class InterimProgressDlg : public QDialog, public IProgressSink, public IStatusLine {
  Q_OBJECT

 public:
  explicit InterimProgressDlg(QWidget* parent = nullptr);

  // Shows the window with the Abort button enabled and the flag cleared.
  void Begin();

  // Any thread.
  void SetTitle(const std::string& title) override;
  void SetText(const std::string& text) override;
  bool Aborted() override { return aborted_.load(); }
  void CloseAfter(int ms) override;
  void SetStatus(const std::string& text) override;

  // Window thread: what was shown last.
  QString Text() const;
  QString Status() const { return status_; }

 signals:
  void StatusChanged(const QString& text);

 private:
  QLabel* text_ = nullptr;
  QPushButton* abort_ = nullptr;
  QString status_;
  std::atomic<bool> aborted_{false};
};

}  // namespace skyh::ui
