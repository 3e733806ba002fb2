#include "support/memory_link.h"

#include <algorithm>

namespace skyh::test {

bool MemoryPump::Open() {
  lastError = openError_;
  return openError_.empty();
}

bool MemoryPump::Write(const uint8_t* data, uint16_t length) {
  if (writeCalls_++ >= failWritesFrom_) return false;
  writes_.emplace_back(data, data + length);
  if (writeHook_) writeHook_(*this, data, length);
  if (echo_) Receive(writes_.back());
  std::vector<WireFrame> complete;
  decoder_.Feed(data, length, complete);
  for (WireFrame& frame : complete) {
    frames_.push_back(frame);
    if (responder_ && frame.kind == WireFrame::Kind::Command) {
      std::vector<uint8_t> answer = responder_(frame);
      if (!answer.empty()) Receive(answer);
    }
  }
  return true;
}

void MemoryPump::TopUp() {
  while (!backlog_.empty() && rxQueue_.Count() < rxQueue_.Capacity()) {
    rxQueue_.Put(backlog_.front());
    backlog_.pop_front();
  }
}

void MemoryPump::Receive(const std::vector<uint8_t>& bytes) {
  backlog_.insert(backlog_.end(), bytes.begin(), bytes.end());
  TopUp();
}

void MemoryPump::ReceiveAfter(uint64_t delayMs, const std::vector<uint8_t>& bytes) {
  pending_.push_back({Clock().NowMs() + delayMs, bytes});
  std::stable_sort(pending_.begin(), pending_.end(),
                   [](const Delivery& a, const Delivery& b) { return a.atMs < b.atMs; });
}

void MemoryPump::DeliverDue() {
  uint64_t now = Clock().NowMs();
  while (!pending_.empty() && pending_.front().atMs <= now) {
    std::vector<uint8_t> bytes = std::move(pending_.front().bytes);
    pending_.erase(pending_.begin());
    Receive(bytes);
  }
  TopUp();
}

size_t MemoryPump::QueuedReceiveBytes() { return rxQueue_.Count() + backlog_.size(); }

uint16_t MemoryPump::Read(uint8_t* buffer, uint16_t size, uint32_t timeoutMs) {
  DeliverDue();
  if (rxQueue_.Count() == 0 && !pending_.empty()) {
    uint64_t now = Clock().NowMs();
    if (pending_.front().atMs <= now + timeoutMs) {
      manualClock_.Advance(pending_.front().atMs - now);
      DeliverDue();
    }
  }
  const uint64_t before = Clock().NowMs();
  uint16_t n = rxQueue_.WaitAndGet(buffer, size, timeoutMs, Clock());
  // Only a wait that used up its time-out counts as silence.
  if (n == 0 && silenceHook_ && Clock().NowMs() - before >= timeoutMs) silenceHook_(*this);
  TopUp();
  return n;
}

void MemoryPump::Purge() {
  DeliverDue();
  backlog_.clear();
  rxQueue_.Clear();
}

std::vector<uint8_t> MemoryPump::AllWritten() const {
  std::vector<uint8_t> all;
  for (const auto& w : writes_) all.insert(all.end(), w.begin(), w.end());
  return all;
}

void MemoryPump::ClearRecord() {
  writes_.clear();
  frames_.clear();
  decoder_.Reset();
}

}  // namespace skyh::test
