#pragma once
// A link straight into an in-process simulated control box, on a manual
// clock: replies come at once and every wait passes instantly. It keeps what
// the host wrote so tests can look at the command frames.
#include <condition_variable>
#include <functional>
#include <mutex>

#include "box_frame.h"
#include "control_box.h"
#include "link/monotonic_clock.h"
#include "support/engine_over.h"

namespace skyh::test {

using SentFrame = sim::HostFrame;

// The byte pump between the engine and the box.
class BoxPump : public Transport {
 public:
  // `utcSeconds` is the host clock the box's own clock runs against (the
  // system clock when empty).
  explicit BoxPump(sim::BoxOptions options, sim::ControlBox::Clock utcSeconds)
      : box(std::move(options), [this] { return static_cast<int64_t>(clock.NowMs()); }, std::move(utcSeconds)) {
    SetClock(&clock);
  }

  bool Open() override {
    lastError = openError;
    if (!openError.empty()) return false;
    ++opens;
    box.Reopen();
    return isOpen = true;
  }
  void Close() override {
    isOpen = false;
    pending.clear();
  }
  bool Write(const uint8_t* data, uint16_t length) override {
    if (!isOpen) return false;
    written.insert(written.end(), data, data + length);
    std::vector<uint8_t> bytes(data, data + length);
    if (filter) filter(bytes);
    box.Receive(bytes);
    return true;
  }
  uint16_t Read(uint8_t* buffer, uint16_t size, uint32_t timeoutMs) override {
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
    const auto n = static_cast<uint16_t>(std::min<size_t>(pending.size(), size));
    std::copy_n(pending.begin(), n, buffer);
    pending.erase(pending.begin(), pending.begin() + n);
    return n;
  }
  void Purge() override {
    box.TakeOutput();
    pending.clear();
  }
  std::string Description(bool) override { return "Simulated box"; }

  // The command frames written so far, in order (raw boot-loader frames left
  // out), as the box's decoder reads them; all or those of one command.
  std::vector<SentFrame> Frames(int command = -1) const {
    sim::HostFrameDecoder decoder;
    std::vector<SentFrame> all;
    decoder.Feed(written.data(), written.size(), all);
    std::erase_if(
        all, [&](auto& f) { return f.kind != SentFrame::Kind::Command || (command >= 0 && f.command != command); });
    return all;
  }

  ManualClock clock;
  sim::ControlBox box;
  std::vector<uint8_t> written;
  std::string openError;  // set to make Open fail
  // Changes what reaches the box (the host's bytes are recorded unchanged).
  std::function<void(std::vector<uint8_t>&)> filter;
  int opens = 0;

 private:
  bool isOpen = false;
  std::vector<uint8_t> pending;
};

// The engine over its own box pump, with the box and the record at hand.
class BoxLink : public EngineOver<BoxPump> {
 public:
  explicit BoxLink(sim::BoxOptions options = {}, sim::ControlBox::Clock utcSeconds = {})
      : EngineOver(std::move(options), std::move(utcSeconds)) {}
  ~BoxLink() override { CCom::Close(); }
};

}  // namespace skyh::test
