#pragma once
// Records what a long operation shows and says on the status line; safe to
// fill from its worker. `onText` sees every text as it comes (a test stops or
// watches the run there); `abort` is what Aborted() answers.
#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/progress.h"

namespace skyh::test {

class RecordingProgress : public IProgressSink, public IStatusLine {
 public:
  void SetTitle(const std::string& title) override { Add(titles, title); }
  void SetText(const std::string& text) override {
    std::function<void(const std::string&)> hook;
    {
      std::lock_guard<std::mutex> lock(mutex);
      texts.push_back(text);
      hook = onText;
    }
    if (hook) hook(text);
  }
  void SetCounter(const std::string& text, const ProgressCounter& counter) override {
    Add(counters, counter);
    SetText(text);
  }
  bool Aborted() override { return abort; }
  void CloseAfter(int ms) override { Add(closedAfter, ms); }
  void SetBars(int, int) override {}
  void SetStatus(const std::string& text) override { Add(statuses, text); }

  bool Saw(const std::string& text) const { return std::find(texts.begin(), texts.end(), text) != texts.end(); }
  size_t Count(const std::string& text) const { return std::count(texts.begin(), texts.end(), text); }
  std::vector<ProgressCounter> Counters(ProgressCounter::Kind kind) const {
    std::vector<ProgressCounter> some = counters;
    std::erase_if(some, [&](const ProgressCounter& c) { return c.kind != kind; });
    return some;
  }

  std::mutex mutex;
  std::vector<std::string> titles, texts, statuses;
  std::vector<int> closedAfter;
  std::vector<ProgressCounter> counters;
  std::function<void(const std::string&)> onText;
  std::atomic<bool> abort{false};

 private:
  template <typename T>
  void Add(std::vector<T>& to, const T& value) {
    std::lock_guard<std::mutex> lock(mutex);
    to.push_back(value);
  }
};

}  // namespace skyh::test
