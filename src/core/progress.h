#pragma once
// How long operations report to whoever started them: the window (queued
// signals), the command-line tool (the terminal) or a test (a recorder).
//
// Threading contract (see core/worker.h):
// - A long operation runs on its worker thread, and calls every sink
//   (progress, status line, prompt, firmware view) on that thread; a sink
//   that shows something elsewhere hands it over (the window: queued
//   signals, in order) and returns at once.
// - Aborted() is read from the worker thread while another thread sets it:
//   implementations keep the flag atomic.
// - A question (IPrompt) blocks the worker until it is answered.
// - What the operation produces (a retrieved store, a result) belongs to
//   the caller only after the worker has ended (Worker::Join).
#include <cstdint>
#include <string>

namespace skyh {

// The number behind a counting progress text, so that a bar or a terminal
// line reads it instead of parsing the text.
struct ProgressCounter {
  enum class Kind {
    kRecords,    // records received so far (`current`), `bytes` with them
    kRetry,      // reconnection `current` of `total`
    kPercent,    // `current` percent of a step (firmware block writing)
    kCountdown,  // `current` seconds left of a wait
  };
  Kind kind = Kind::kRecords;
  int64_t current = 0;
  int64_t total = 0;
  int64_t bytes = 0;
};

// The progress dialog: title, one text line, an Abort button, two bars.
class IProgressSink {
 public:
  virtual ~IProgressSink() = default;
  virtual void SetTitle(const std::string& title) = 0;
  virtual void SetText(const std::string& text) = 0;
  // A text that counts: shown like SetText unless the sink uses the number.
  virtual void SetCounter(const std::string& text, const ProgressCounter& counter) {
    (void)counter;
    SetText(text);
  }
  virtual bool Aborted() = 0;
  // Close the progress display after `ms` milliseconds.
  virtual void CloseAfter(int ms) = 0;
  // Current and total bars in percent (firmware update); -1 leaves a bar alone.
  virtual void SetBars(int currentPercent, int totalPercent) {
    (void)currentPercent;
    (void)totalPercent;
  }
};

// Pane 4 of the window's status bar.
class IStatusLine {
 public:
  virtual ~IStatusLine() = default;
  virtual void SetStatus(const std::string& text) = 0;
};

// Questions asked in the middle of an operation.
class IPrompt {
 public:
  virtual ~IPrompt() = default;
  // True for Yes (or OK), false for No (or Cancel).
  virtual bool AskYesNo(const std::string& caption, const std::string& text) = 0;
};

// Sinks that do nothing, for callers that do not watch.
class NullProgress : public IProgressSink {
 public:
  void SetTitle(const std::string&) override {}
  void SetText(const std::string&) override {}
  bool Aborted() override { return false; }
  void CloseAfter(int) override {}
};

class NullStatusLine : public IStatusLine {
 public:
  void SetStatus(const std::string&) override {}
};

}  // namespace skyh
