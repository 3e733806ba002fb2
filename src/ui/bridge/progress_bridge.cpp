#include "ui/bridge/progress_bridge.h"

#include <QThread>

namespace skyh::ui {

ProgressBridge::ProgressBridge(QObject* parent) : QObject(parent) {}

// Signals emitted on a worker thread reach receivers of the window thread
// queued (automatic connections); on the window thread they arrive at once.
void ProgressBridge::SetTitle(const std::string& title) { emit titleChanged(QString::fromStdString(title)); }
void ProgressBridge::SetText(const std::string& text) { emit textChanged(QString::fromStdString(text)); }
void ProgressBridge::CloseAfter(int ms) { emit closeRequested(ms); }
void ProgressBridge::SetBars(int currentPercent, int totalPercent) { emit barsChanged(currentPercent, totalPercent); }
void ProgressBridge::SetStatus(const std::string& text) { emit statusChanged(QString::fromStdString(text)); }

bool ProgressBridge::AskYesNo(const std::string& caption, const std::string& text) {
  bool yes = false;
  auto ask = [&] { yes = answer ? answer(QString::fromStdString(caption), QString::fromStdString(text)) : false; };
  if (QThread::currentThread() == thread()) ask();
  else QMetaObject::invokeMethod(this, ask, Qt::BlockingQueuedConnection);
  return yes;
}

}  // namespace skyh::ui
