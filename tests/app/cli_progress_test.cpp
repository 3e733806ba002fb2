// The command-line tool's progress printing.
#include "app/cli_progress.h"

#include <cstdio>
#include <cstdlib>

#include "support/test_common.h"

namespace skyh::cli {
namespace {

// Captures what a TerminalProgress prints.
struct Capture {
  char* buffer = nullptr;
  size_t size = 0;
  FILE* file = open_memstream(&buffer, &size);
  ~Capture() {
    (void)std::fclose(file);
    std::free(buffer);
  }
  std::string Text() {
    std::fflush(file);
    return std::string(buffer, size);
  }
};

int64_t g_nowMs = 0;
int64_t TestNow() { return g_nowMs; }

TerminalProgressOptions Counters(int terminal) {
  TerminalProgressOptions o;
  o.hiddenTexts = {"Write code..."};
  o.terminal = terminal;
  o.nowMs = TestNow;
  return o;
}

TEST(TerminalProgressTest, CountersShareOneLineOnATerminal) {
  Capture capture;
  TerminalProgress progress(Counters(1), capture.file);
  TerminalStatusLine status(progress);
  progress.SetTitle("Get records");
  progress.SetText("Please wait...");
  progress.SetCounter("Received blocks: 1 (30 bytes)", {ProgressCounter::Kind::kRecords, 1, 0, 30});
  progress.SetCounter("Received blocks: 2 (60 bytes)", {ProgressCounter::Kind::kRecords, 2, 0, 60});
  progress.SetText("Write code...");
  status.SetStatus("Retrieve data OK.");
  status.SetStatus("Retrieve data OK.");
  progress.SetText("Stopping communication...");
  status.SetStatus("Stopping communication...");
  progress.CloseAfter(2000);
  const std::string pad(60 - 29, ' ');
  EXPECT_EQ(capture.Text(), "Get records\nPlease wait...\n\rReceived blocks: 1 (30 bytes)" + pad +
                                "\rReceived blocks: 2 (60 bytes)" + pad +
                                "\nRetrieve data OK.\nStopping communication...\n");
}

TEST(TerminalProgressTest, CountersOffATerminalKeepTheLastOneAndDropTrailingNewlines) {
  Capture capture;
  TerminalProgress progress(Counters(0), capture.file);
  progress.SetText("Open media: OK\n");
  g_nowMs = 5000;
  for (int i = 1; i <= 50; ++i) {
    progress.SetCounter("Received blocks: " + std::to_string(i), {ProgressCounter::Kind::kRecords, i, 0, 0});
    g_nowMs += 30;  // 50 counters in 1.5 s
  }
  progress.SetText("Stopping communication...");
  // The first counter goes out at once, one a second after it, and the
  // latest before the next text.
  EXPECT_EQ(capture.Text(),
            "Open media: OK\nReceived blocks: 1\nReceived blocks: 35\nReceived blocks: 50\n"
            "Stopping communication...\n");
}

}  // namespace
}  // namespace skyh::cli
