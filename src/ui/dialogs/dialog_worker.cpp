#include "ui/dialogs/dialog_worker.h"

#include <QMetaObject>

namespace skyh::ui {

bool DialogWorker::Start(std::function<int()> job) {
  if (running_.load()) return false;
  worker_.Join();  // the previous job's thread may not have returned yet
  running_ = true;
  return worker_.Start([this, job = std::move(job)] {
    result_ = job();
    running_ = false;
    const int result = result_;
    // Delivered on the window thread; dropped when this object is gone.
    QMetaObject::invokeMethod(this, [this, result] { emit Finished(result); }, Qt::QueuedConnection);
  });
}

int DialogWorker::Join() {
  worker_.Join();
  return result_;
}

}  // namespace skyh::ui
