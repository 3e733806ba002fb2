#pragma once
// An in-memory link for tests: the engine over a byte pump whose peer is
// programmable. What the engine writes is cut into frames by the simulated
// box's decoder and handed to the peer, what the peer answers lands in a
// receive queue, and time runs on a manual clock, so exchanges and time-outs
// run without I/O and without waiting. Single-threaded.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "box_frame.h"
#include "link/byte_queue.h"
#include "link/monotonic_clock.h"
#include "link/transport.h"
#include "support/engine_over.h"

namespace skyh::test {

// One request frame as the control box sees it on the wire.
using WireFrame = sim::HostFrame;

// A reply frame as the control box encodes it.
inline std::vector<uint8_t> BuildFrame(uint8_t sequence, uint8_t command, const std::vector<uint8_t>& payload) {
  return sim::EncodeReplyFrame(sequence, command, payload);
}

class MemoryPump : public Transport {
 public:
  // Answers one command frame with the bytes to receive (empty: silence).
  using Responder = std::function<std::vector<uint8_t>(const WireFrame&)>;

  MemoryPump() { SetClock(&manualClock_); }

  bool Open() override { return true; }
  void Close() override {}
  bool Write(const uint8_t* data, uint16_t length) override {
    if (writeCalls_++ >= failWritesFrom_) return false;
    writes_.emplace_back(data, data + length);
    if (writeHook_) writeHook_(*this, data, length);
    if (echo_) Receive(writes_.back());
    std::vector<WireFrame> complete;
    decoder_.Feed(data, length, complete);
    for (WireFrame& frame : complete) {
      frames_.push_back(frame);
      if (responder_ && frame.kind == WireFrame::Kind::Command) Receive(responder_(frame));
    }
    return true;
  }
  uint16_t Read(uint8_t* buffer, uint16_t size, uint32_t timeoutMs) override {
    DeliverDue();
    const uint64_t before = Clock().NowMs();
    if (rxQueue_.Count() == 0 && !pending_.empty() && pending_.begin()->first <= before + timeoutMs) {
      manualClock_.Advance(pending_.begin()->first - before);
      DeliverDue();
    }
    const uint64_t start = Clock().NowMs();
    uint16_t n = rxQueue_.WaitAndGet(buffer, size, timeoutMs, Clock());
    // Only a wait that used up its time-out counts as silence.
    if (n == 0 && silenceHook_ && Clock().NowMs() - start >= timeoutMs) silenceHook_(*this);
    TopUp();
    return n;
  }
  void Purge() override {
    DeliverDue();
    backlog_.clear();
    rxQueue_.Clear();
  }
  std::string Description(bool open) override { return open ? "Memory link: open" : "Memory link: closed"; }
  uint32_t DefaultTimeoutMs() const override { return defaultTimeoutMs_; }
  uint32_t LineBitRate() const override { return lineBitRate_; }

  // ---- the peer ----
  void SetResponder(Responder responder) { responder_ = std::move(responder); }
  // Raw hook, called with every written block before frames are cut.
  void SetWriteHook(std::function<void(MemoryPump&, const uint8_t*, uint16_t)> hook) { writeHook_ = std::move(hook); }
  // Called when a Read found nothing within its time-out: bytes received
  // from here arrived just after that time-out.
  void SetSilenceHook(std::function<void(MemoryPump&)> hook) { silenceHook_ = std::move(hook); }
  // Hand every written block straight back (a half-duplex adapter).
  void SetEcho(bool echo) { echo_ = echo; }

  // Bytes arrive now / `delayMs` after now on the link's clock.
  void Receive(const std::vector<uint8_t>& bytes) {
    backlog_.insert(backlog_.end(), bytes.begin(), bytes.end());
    TopUp();
  }
  void ReceiveAfter(uint64_t delayMs, const std::vector<uint8_t>& bytes) {
    pending_.emplace(Clock().NowMs() + delayMs, bytes);
  }
  size_t PendingDeliveries() const { return pending_.size(); }
  size_t QueuedReceiveBytes() { return rxQueue_.Count() + backlog_.size(); }

  // ---- what was written ----
  const std::vector<std::vector<uint8_t>>& Writes() const { return writes_; }
  std::vector<uint8_t> AllWritten() const {
    std::vector<uint8_t> all;
    for (const auto& w : writes_) all.insert(all.end(), w.begin(), w.end());
    return all;
  }
  const std::vector<WireFrame>& Frames() const { return frames_; }
  void ClearRecord() {
    writes_.clear();
    frames_.clear();
    decoder_.Reset();
  }

  // ---- failures and settings ----
  // Writes from the n-th on (0-based, counting every Write call) fail.
  void FailWritesFrom(size_t n) { failWritesFrom_ = n; }
  void SetDefaultTimeout(uint32_t ms) { defaultTimeoutMs_ = ms; }
  // A serial line behind the link: a request is still leaving after Write.
  void SetLineBitRate(uint32_t bitRate) { lineBitRate_ = bitRate; }

  ManualClock& Manual() { return manualClock_; }

 private:
  void DeliverDue() {
    while (!pending_.empty() && pending_.begin()->first <= Clock().NowMs()) {
      const std::vector<uint8_t> bytes = std::move(pending_.begin()->second);
      pending_.erase(pending_.begin());
      Receive(bytes);
    }
    TopUp();
  }
  void TopUp() {
    for (; !backlog_.empty() && rxQueue_.Count() < rxQueue_.Capacity(); backlog_.pop_front())
      rxQueue_.Put(backlog_.front());
  }

  ManualClock manualClock_;
  ByteQueue rxQueue_{kLinkChunkBytes};
  // What does not fit the receive queue yet (the operating system's buffer).
  std::deque<uint8_t> backlog_;
  std::multimap<uint64_t, std::vector<uint8_t>> pending_;  // by arrival time, in order of sending
  Responder responder_;
  std::function<void(MemoryPump&, const uint8_t*, uint16_t)> writeHook_;
  std::function<void(MemoryPump&)> silenceHook_;
  bool echo_ = false;
  std::vector<std::vector<uint8_t>> writes_;
  sim::HostFrameDecoder decoder_;
  std::vector<WireFrame> frames_;
  size_t writeCalls_ = 0, failWritesFrom_ = SIZE_MAX;
  uint32_t defaultTimeoutMs_ = 3000, lineBitRate_ = 0;
};

// The engine over its own pump, with the pump's controls at hand.
class MemoryLink : public EngineOver<MemoryPump> {};

}  // namespace skyh::test
