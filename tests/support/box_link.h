#pragma once
// A link straight into an in-process simulated control box, on a manual
// clock: replies come at once and every wait passes instantly. It keeps what
// the host wrote so tests can look at the command frames.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "control_box.h"
#include "core/text_util.h"
#include "link/ccom.h"
#include "link/monotonic_clock.h"

namespace skyh::test {

struct SentFrame {
  uint8_t command = 0;
  std::vector<uint8_t> payload;
};

class BoxLink : public CCom {
 public:
  // `utcSeconds` is the host clock the box's own clock runs against (the
  // system clock when empty).
  explicit BoxLink(sim::BoxOptions options = {}, sim::ControlBox::Clock utcSeconds = {})
      : box(std::move(options), [this] { return static_cast<int64_t>(clock.NowMs()); }, std::move(utcSeconds)) {
    SetClock(&clock);
  }
  ~BoxLink() override { Close(); }

  bool Write(const uint8_t* data, uint16_t length) override {
    if (!connected) return false;
    written.insert(written.end(), data, data + length);
    std::vector<uint8_t> bytes(data, data + length);
    if (filter) filter(bytes);
    box.Receive(bytes);
    return true;
  }
  uint16_t Read(uint8_t* buffer, uint32_t timeoutMs) override {
    std::vector<uint8_t> out = box.TakeOutput();
    if (out.empty() && timeoutMs > 0) {
      // Nothing due yet: let the time pass (at once on the manual clock).
      std::mutex m;
      std::condition_variable never;
      std::unique_lock<std::mutex> lock(m);
      Clock().WaitFor(never, lock, timeoutMs, [] { return false; });
      out = box.TakeOutput();
    }
    pending.insert(pending.end(), out.begin(), out.end());
    uint16_t n = static_cast<uint16_t>(std::min<size_t>(pending.size(), kLinkChunkBytes));
    std::copy_n(pending.begin(), n, buffer);
    pending.erase(pending.begin(), pending.begin() + n);
    return n;
  }
  bool Open() override {
    lastError.clear();
    if (connected) return true;
    if (!openError.empty()) {
      lastError = openError;
      return false;
    }
    MarkOpened();
    ++opens;
    box.Reopen();
    return true;
  }
  bool Close() override {
    connected = 0;
    pending.clear();
    return true;
  }
  uint32_t GetDefaultTimeout() override { return 3000; }
  std::string GetDescription() override { return "Simulated box"; }

  // The command frames written so far, in order (raw boot-loader frames left out).
  std::vector<SentFrame> Frames() const {
    std::vector<SentFrame> frames;
    for (size_t i = 0; i + 4 < written.size(); ++i) {
      if (written[i] != 0x01 || written[i + 2] != 0x02) continue;
      SentFrame f;
      f.command = written[i + 3];
      size_t j = i + 4;
      while (j + 1 < written.size() && written[j] != 0x17) {
        f.payload.push_back(static_cast<uint8_t>(HexDigitValue(static_cast<char>(written[j])) * 16 +
                                                 HexDigitValue(static_cast<char>(written[j + 1]))));
        j += 2;
      }
      frames.push_back(std::move(f));
      i = j;
    }
    return frames;
  }
  std::vector<SentFrame> Frames(uint8_t command) const {
    std::vector<SentFrame> all = Frames(), some;
    for (auto& f : all)
      if (f.command == command) some.push_back(f);
    return some;
  }

  ManualClock clock;
  sim::ControlBox box;
  std::vector<uint8_t> written;
  std::string openError;  // set to make Open fail
  // Changes what reaches the box (the host's bytes are recorded unchanged).
  std::function<void(std::vector<uint8_t>&)> filter;
  int opens = 0;

 private:
  std::vector<uint8_t> pending;
};

}  // namespace skyh::test
