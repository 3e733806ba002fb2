#include "app/cli_progress.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>

#include "core/text_util.h"

namespace skyh::cli {
namespace {

// Lock-free, so the handler may touch it; read by worker threads.
std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void OnInterrupt(int) { g_interrupted.store(true); }

std::mutex g_guardMutex;
int g_guardDepth = 0;
struct sigaction g_oldInt {}, g_oldTerm {};

int64_t SteadyMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

InterruptGuard::InterruptGuard() {
  std::lock_guard<std::mutex> lock(g_guardMutex);
  if (g_guardDepth++ > 0) return;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &g_oldInt);
  sigaction(SIGTERM, &action, &g_oldTerm);
}

InterruptGuard::~InterruptGuard() {
  std::lock_guard<std::mutex> lock(g_guardMutex);
  if (--g_guardDepth > 0) return;
  sigaction(SIGINT, &g_oldInt, nullptr);
  sigaction(SIGTERM, &g_oldTerm, nullptr);
}

bool InterruptRequested() { return g_interrupted.load(); }
void ClearInterrupt() { g_interrupted.store(false); }
void RequestInterrupt() { g_interrupted.store(true); }

std::string WithoutTrailingNewlines(const std::string& text) {
  std::string line = text;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
}

TerminalProgress::TerminalProgress(TerminalProgressOptions options, FILE* out)
    : options_(std::move(options)),
      out_(out),
      terminal_(options_.terminal >= 0 ? options_.terminal != 0 : isatty(fileno(out)) != 0) {}

bool TerminalProgress::Hidden(const std::string& line) const {
  for (const std::string& h : options_.hiddenTexts) {
    if (line == h) return true;
  }
  return false;
}

void TerminalProgress::SetTitle(const std::string& title) {
  if (!options_.showTitle) return;
  PrintLine(title);
}

void TerminalProgress::SetCounter(const std::string& text, const ProgressCounter&) {
  const std::string line = WithoutTrailingNewlines(text);
  std::lock_guard<std::mutex> lock(mutex_);
  if (terminal_) {
    // Pad over the rest of a longer previous counter.
    std::fprintf(out_, "\r%-60s", line.c_str());
    std::fflush(out_);
    openLine_ = true;
    return;
  }
  // Elsewhere (a log, a pipe) a counter is worth a line now and then.
  const int64_t now = options_.nowMs ? options_.nowMs() : SteadyMs();
  if (line == lastPrinted_) return;
  if (lastTransientMs_ >= 0 && now - lastTransientMs_ < 1000) {
    pendingTransient_ = line;
    return;
  }
  lastTransientMs_ = now;
  pendingTransient_.clear();
  std::fprintf(out_, "%s\n", line.c_str());
  std::fflush(out_);
  lastPrinted_ = line;
}

void TerminalProgress::SetText(const std::string& text) {
  const std::string line = WithoutTrailingNewlines(text);
  std::lock_guard<std::mutex> lock(mutex_);
  EndLineLocked();
  if (Hidden(line)) return;
  std::fprintf(out_, "%s\n", line.c_str());
  std::fflush(out_);
  lastPrinted_ = line;
}

void TerminalProgress::CloseAfter(int) { EndLine(); }

void TerminalProgress::PrintLine(const std::string& text) {
  const std::string line = WithoutTrailingNewlines(text);
  std::lock_guard<std::mutex> lock(mutex_);
  EndLineLocked();
  std::fprintf(out_, "%s\n", line.c_str());
  std::fflush(out_);
  lastPrinted_ = line;
}

void TerminalProgress::EndLine() {
  std::lock_guard<std::mutex> lock(mutex_);
  EndLineLocked();
}

std::string TerminalProgress::LastPrinted() {
  std::lock_guard<std::mutex> lock(mutex_);
  return lastPrinted_;
}

void TerminalProgress::EndLineLocked() {
  if (openLine_) std::fputc('\n', out_);
  openLine_ = false;
  if (!pendingTransient_.empty()) {
    std::fprintf(out_, "%s\n", pendingTransient_.c_str());
    lastPrinted_ = pendingTransient_;
    pendingTransient_.clear();
  }
  std::fflush(out_);
}

void TerminalStatusLine::SetStatus(const std::string& text) {
  const std::string line = WithoutTrailingNewlines(text);
  if (line.empty() || line == last_) return;
  last_ = line;
  if (progress_.LastPrinted() == line) return;
  progress_.PrintLine(line);
}

bool TerminalPrompt::Interactive() const { return !yes_ && isatty(STDIN_FILENO); }

bool TerminalPrompt::AskYesNo(const std::string& caption, const std::string& text) {
  progress_.EndLine();
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  if (yes_) {
    std::fprintf(stderr, "[y/N] y (--yes)\n");
    return true;
  }
  if (!isatty(STDIN_FILENO)) {
    std::fprintf(stderr, "[y/N] n (no terminal to ask on; use --yes)\n");
    return false;
  }
  std::fprintf(stderr, "[y/N] ");
  std::fflush(stderr);
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  answer = ToLowerAscii(TrimBlanks(answer));
  return answer == "y" || answer == "yes";
}

}  // namespace skyh::cli
