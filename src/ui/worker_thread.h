#pragma once
// A long operation of the window on its own thread. The window keeps the
// object until `finished` arrived, and the destructor joins, so a window
// closed during a run waits for it instead of destroying what it uses.
#include <QObject>
#include <atomic>
#include <functional>
#include <thread>

namespace skyh::ui {

class WorkerThread : public QObject {
  Q_OBJECT

 public:
  explicit WorkerThread(std::function<void()> work, QObject* parent = nullptr);
  ~WorkerThread() override;
  void Start();
  void Join();
  // The work returned (any thread may ask).
  bool Done() const { return done_.load(); }

 signals:
  // Queued into the window thread after the work returned.
  void finished();

 private:
  std::function<void()> work_;
  std::thread thread_;
  std::atomic<bool> done_{false};
};

}  // namespace skyh::ui
