#pragma once
// A long operation of the window on its own thread. The window keeps the
// object until `finished` arrived, and the destructor joins, so a window
// closed during a run waits for it instead of destroying what it uses.
#include <QObject>
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

 signals:
  // Queued into the window thread after the work returned.
  void finished();

 private:
  std::function<void()> work_;
  std::thread thread_;
};

}  // namespace skyh::ui
