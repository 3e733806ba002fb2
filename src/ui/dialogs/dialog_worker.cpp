#include "ui/dialogs/dialog_worker.h"

#include <QMetaObject>

namespace skyh::ui {

bool DialogWorker::Start(std::function<int()> job) {
  if (running_.load()) return false;
  if (thread_.joinable()) thread_.join();
  running_ = true;
  thread_ = std::thread([this, job = std::move(job)] {
    result_ = job();
    running_ = false;
    const int result = result_;
    // Delivered on the window thread; dropped when this object is gone.
    QMetaObject::invokeMethod(this, [this, result] { emit Finished(result); }, Qt::QueuedConnection);
  });
  return true;
}

int DialogWorker::Join() {
  if (thread_.joinable()) thread_.join();
  return result_;
}

}  // namespace skyh::ui
