#include "ui/worker_thread.h"

namespace skyh::ui {

WorkerThread::WorkerThread(std::function<void()> work, QObject* parent) : QObject(parent), work_(std::move(work)) {}

WorkerThread::~WorkerThread() { Join(); }

void WorkerThread::Start() {
  thread_ = std::thread([this] {
    work_();
    done_.store(true);
    QMetaObject::invokeMethod(this, &WorkerThread::finished, Qt::QueuedConnection);
  });
}

void WorkerThread::Join() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace skyh::ui
