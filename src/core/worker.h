#pragma once
// One long operation (retrieval, settings sending, loading, firmware update)
// on a thread of its own, so the window stays responsive. See progress.h for
// what the operation may expect from its sinks on that thread.
//
//   Worker worker;
//   worker.Start([&] { result = RunInteractiveRetrieval(env); });
//   ...                     // Abort: worker.RequestStop() (the job polls it)
//   worker.Join();          // then use `result` on this thread
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace skyh {

class Worker {
 public:
  Worker() = default;
  // Waits for a running job; owners that want it to end early ask first.
  ~Worker() { Join(); }
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // Runs `job` on a new thread, with the stop request cleared. False when a
  // job runs already. The previous, ended job's thread is joined first.
  bool Start(std::function<void()> job);
  // Asks the running job to stop at its next check; it never interrupts it.
  void RequestStop() { stop_.store(true); }
  bool StopRequested() const { return stop_.load(); }
  // True from Start until the job returns.
  bool Running() const { return running_.load(); }
  // Waits for the job's end; at once when none runs. Not from the job itself.
  void Join();

 private:
  std::mutex mutex_;  // Start and Join from different threads
  std::thread thread_;
  std::atomic<bool> running_{false};
  std::atomic<bool> stop_{false};
};

}  // namespace skyh
