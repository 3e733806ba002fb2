#pragma once
// The command-line tool's face for long operations: progress texts on
// stderr (one updating line for counters when stderr is a terminal), the
// status line, questions on the terminal, and Ctrl-C / SIGTERM as the Abort
// button.
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "core/progress.h"

namespace skyh::cli {

// Installs SIGINT and SIGTERM handlers that only set a flag, for the life of
// the object; the old handlers come back afterwards. Nesting is allowed.
class InterruptGuard {
 public:
  InterruptGuard();
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;
};

// Whether SIGINT or SIGTERM arrived since the process started (or since the
// last ClearInterrupt).
bool InterruptRequested();
void ClearInterrupt();
// What the signal handler does; for tests and for callers that stop on
// their own account.
void RequestInterrupt();

struct TerminalProgressOptions {
  // Texts never printed (said before every step, they add nothing).
  std::vector<std::string> hiddenTexts;
  // Print the title as a line of its own.
  bool showTitle = true;
  // Overrides the terminal check on stderr (tests); -1 asks isatty.
  int terminal = -1;
  // Milliseconds of a steady clock for the counter pacing; null: the system's.
  int64_t (*nowMs)() = nullptr;
};

// Progress texts on stderr. Safe to call from a worker thread while the
// main thread prints through the same object.
class TerminalProgress : public IProgressSink {
 public:
  explicit TerminalProgress(TerminalProgressOptions options = {}, FILE* out = stderr);

  void SetTitle(const std::string& title) override;
  void SetText(const std::string& text) override;
  // Counters share one updating line on a terminal; elsewhere only the
  // latest is printed, at most once a second, and the last one when the
  // line ends.
  void SetCounter(const std::string& text, const ProgressCounter& counter) override;
  bool Aborted() override { return InterruptRequested(); }
  void CloseAfter(int ms) override;

  // Prints one whole line (a trailing "\n" of `text` is not doubled), ending
  // an open counter line first.
  void PrintLine(const std::string& text);
  // Ends an open counter line (and prints a counter not shown yet).
  void EndLine();
  // The last whole line printed.
  std::string LastPrinted();

 private:
  void EndLineLocked();
  bool Hidden(const std::string& line) const;

  TerminalProgressOptions options_;
  FILE* out_;
  bool terminal_;
  std::mutex mutex_;
  bool openLine_ = false;
  std::string lastPrinted_;
  std::string pendingTransient_;  // not a terminal: counter not printed yet
  int64_t lastTransientMs_ = -1;
};

// Pane 4 of the window: each new status is a line on stderr, unless the
// progress text just said the same.
class TerminalStatusLine : public IStatusLine {
 public:
  explicit TerminalStatusLine(TerminalProgress& progress) : progress_(progress) {}
  void SetStatus(const std::string& text) override;

 private:
  TerminalProgress& progress_;
  std::string last_;
};

// Questions on the terminal; with --yes every answer is Yes, and without a
// terminal to ask on every answer is No.
class TerminalPrompt : public IPrompt {
 public:
  TerminalPrompt(bool yes, TerminalProgress& progress) : yes_(yes), progress_(progress) {}
  bool AskYesNo(const std::string& caption, const std::string& text) override;
  // Whether a person can answer (not --yes, stdin a terminal).
  bool Interactive() const;

 private:
  bool yes_;
  TerminalProgress& progress_;
};

// Strips the trailing line ends a progress text carries.
std::string WithoutTrailingNewlines(const std::string& text);

}  // namespace skyh::cli
