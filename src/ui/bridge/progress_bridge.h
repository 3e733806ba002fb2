#pragma once
// The core's progress, status-line and prompt interfaces for workers, as
// queued signals into the window thread. Texts travel as copies inside the
// queued events, so order is kept and nothing is freed twice.
#include <QObject>
#include <QString>
#include <atomic>
#include <functional>

#include "core/progress.h"

namespace skyh::ui {

class ProgressBridge : public QObject, public IProgressSink, public IStatusLine, public IPrompt {
  Q_OBJECT

 public:
  explicit ProgressBridge(QObject* parent = nullptr);

  void SetTitle(const std::string& title) override;
  void SetText(const std::string& text) override;
  bool Aborted() override { return aborted_.load(); }
  void CloseAfter(int ms) override;
  void SetBars(int currentPercent, int totalPercent) override;
  void SetStatus(const std::string& text) override;
  // Blocks the worker until the window thread answered.
  bool AskYesNo(const std::string& caption, const std::string& text) override;

  // Window thread: the Abort button, and the start of the next operation.
  void Abort() { aborted_.store(true); }
  void Reset() { aborted_.store(false); }

  // How the window thread answers a worker's question.
  std::function<bool(const QString& caption, const QString& text)> answer;

 signals:
  void titleChanged(const QString& title);
  void textChanged(const QString& text);
  void barsChanged(int currentPercent, int totalPercent);
  void statusChanged(const QString& text);
  void closeRequested(int ms);

 private:
  std::atomic<bool> aborted_{false};
};

}  // namespace skyh::ui
