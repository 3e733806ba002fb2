#pragma once
// One long operation of a dialog on its own thread. The window thread hears
// of its end through Finished; the object joins the thread before it goes,
// so nothing the job uses is destroyed under it.
#include <QObject>
#include <atomic>
#include <functional>

#include "core/worker.h"

namespace skyh::ui {

class DialogWorker : public QObject {
  Q_OBJECT

 public:
  explicit DialogWorker(QObject* parent = nullptr) : QObject(parent) {}
  ~DialogWorker() override { Join(); }

  // False when a job runs already.
  bool Start(std::function<int()> job);
  bool Running() const { return running_.load(); }
  // Waits for the job; its result, or -1 when none ran.
  int Join();

 signals:
  void Finished(int result);

 private:
  Worker worker_;
  // Cleared before Finished is posted, so its receivers may start the next job.
  std::atomic<bool> running_{false};
  int result_ = -1;
};

}  // namespace skyh::ui
