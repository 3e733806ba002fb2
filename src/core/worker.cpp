#include "core/worker.h"

#include <utility>

namespace skyh {

bool Worker::Start(std::function<void()> job) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (running_.load()) return false;
  if (thread_.joinable()) thread_.join();
  stop_.store(false);
  running_.store(true);
  thread_ = std::thread([this, job = std::move(job)] {
    job();
    running_.store(false);
  });
  return true;
}

void Worker::Join() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (thread_.joinable()) thread_.join();
}

}  // namespace skyh
