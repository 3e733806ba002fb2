#include "support/memory_link.h"

#include <algorithm>
#include <cstdio>

#include "protocol/crc16.h"

namespace skyh::test {
namespace {

constexpr uint8_t kSoh = 0x01, kStx = 0x02, kEtx = 0x03, kEot = 0x04, kEsc = 0x05, kEtb = 0x17;

int HexValue(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

void AppendHex(std::vector<uint8_t>& out, uint8_t value, bool lowerCase) {
  char text[3];
  std::snprintf(text, sizeof text, lowerCase ? "%02x" : "%02X", value);
  out.push_back(static_cast<uint8_t>(text[0]));
  out.push_back(static_cast<uint8_t>(text[1]));
}

// Decodes SOH seq STX cmd hex... ETB c c c c ETX.
WireFrame DecodeFramed(const std::vector<uint8_t>& bytes) {
  WireFrame f;
  f.bytes = bytes;
  if (bytes.size() < 10 || bytes[2] != kStx) return f;
  f.sequence = bytes[1];
  f.command = bytes[3];
  size_t etb = bytes.size() - 6;
  if (bytes[etb] != kEtb || (etb - 4) % 2 != 0) return f;
  for (size_t i = 4; i < etb; i += 2)
    f.payload.push_back(static_cast<uint8_t>(HexValue(bytes[i]) * 16 + HexValue(bytes[i + 1])));
  uint16_t crc = Crc16Arc(bytes.data() + 1, 1);
  crc = Crc16Arc(bytes.data() + 3, etb - 3, crc);
  int lo = HexValue(bytes[etb + 1]) * 16 + HexValue(bytes[etb + 2]);
  int hi = HexValue(bytes[etb + 3]) * 16 + HexValue(bytes[etb + 4]);
  f.checksumOk = (lo | (hi << 8)) == crc;
  return f;
}

}  // namespace

std::vector<uint8_t> BuildFrame(uint8_t sequence, uint8_t command,
                                const std::vector<uint8_t>& payload, bool lowerCase) {
  std::vector<uint8_t> covered{sequence, command};
  for (uint8_t b : payload) AppendHex(covered, b, lowerCase);
  uint16_t crc = Crc16Arc(covered.data(), covered.size());
  std::vector<uint8_t> frame{kSoh, sequence, kStx};
  for (size_t i = 1; i < covered.size(); ++i) frame.push_back(covered[i]);
  frame.push_back(kEtb);
  AppendHex(frame, static_cast<uint8_t>(crc & 0xFF), lowerCase);
  AppendHex(frame, static_cast<uint8_t>(crc >> 8), lowerCase);
  frame.push_back(kEtx);
  return frame;
}

std::vector<WireFrame> SplitFrames(const std::vector<uint8_t>& stream, std::vector<uint8_t>* rest) {
  std::vector<WireFrame> frames;
  size_t i = 0;
  while (i < stream.size()) {
    const size_t start = i;
    if (stream[i] == 0x55) {
      // 55 55, escaped data, unescaped 04
      WireFrame f;
      f.raw = true;
      size_t j = i + 2;
      bool done = false;
      while (j < stream.size()) {
        uint8_t b = stream[j++];
        if (b == kEot) { done = true; break; }
        if (b == kEsc) {
          if (j >= stream.size()) break;
          b = stream[j++];
        }
        f.payload.push_back(b);
      }
      if (!done) break;
      f.bytes.assign(stream.begin() + start, stream.begin() + j);
      uint8_t sum = 0;
      for (uint8_t b : f.payload) sum = static_cast<uint8_t>(sum + b);
      f.checksumOk = sum == 0;
      frames.push_back(std::move(f));
      i = j;
    } else if (stream[i] == kSoh) {
      auto etx = std::find(stream.begin() + i, stream.end(), kEtx);
      if (etx == stream.end()) break;
      size_t end = static_cast<size_t>(etx - stream.begin()) + 1;
      frames.push_back(DecodeFramed(std::vector<uint8_t>(stream.begin() + i, stream.begin() + end)));
      i = end;
    } else {
      ++i;  // stray byte
    }
  }
  if (rest) rest->assign(stream.begin() + static_cast<std::ptrdiff_t>(std::min(i, stream.size())), stream.end());
  return frames;
}

MemoryLink::MemoryLink() { SetClock(&manualClock_); }

bool MemoryLink::Write(const uint8_t* data, uint16_t length) {
  size_t call = writeCalls_++;
  if (failWrite_ && failWrite_(call)) return false;
  writes_.emplace_back(data, data + length);
  if (writeHook_) writeHook_(*this, data, length);
  if (echo_) Receive(writes_.back());
  unfinished_.insert(unfinished_.end(), data, data + length);
  std::vector<uint8_t> rest;
  std::vector<WireFrame> complete = SplitFrames(unfinished_, &rest);
  unfinished_ = std::move(rest);
  for (WireFrame& frame : complete) {
    frames_.push_back(frame);
    if (responder_ && !frame.raw) {
      std::vector<uint8_t> answer = responder_(frame);
      if (!answer.empty()) Receive(answer);
    }
  }
  return true;
}

void MemoryLink::TopUp() {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  while (!backlog_.empty() && rxQueue_.Count() < rxQueue_.Capacity()) {
    rxQueue_.Put(backlog_.front());
    backlog_.pop_front();
  }
}

void MemoryLink::Receive(const std::vector<uint8_t>& bytes) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  backlog_.insert(backlog_.end(), bytes.begin(), bytes.end());
  TopUp();
}

void MemoryLink::ReceiveAfter(uint64_t delayMs, const std::vector<uint8_t>& bytes) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  pending_.push_back({Clock().NowMs() + delayMs, bytes});
  std::stable_sort(pending_.begin(), pending_.end(),
                   [](const Delivery& a, const Delivery& b) { return a.atMs < b.atMs; });
}

void MemoryLink::DeliverDue() {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  uint64_t now = Clock().NowMs();
  while (!pending_.empty() && pending_.front().atMs <= now) {
    std::vector<uint8_t> bytes = std::move(pending_.front().bytes);
    pending_.erase(pending_.begin());
    Receive(bytes);
  }
  TopUp();
}

size_t MemoryLink::QueuedReceiveBytes() {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  return rxQueue_.Count() + backlog_.size();
}

uint16_t MemoryLink::Read(uint8_t* buffer, uint32_t timeoutMs) {
  DeliverDue();
  if (manual_ && rxQueue_.Count() == 0 && !pending_.empty()) {
    uint64_t now = Clock().NowMs();
    if (pending_.front().atMs <= now + timeoutMs) {
      manualClock_.Advance(pending_.front().atMs - now);
      DeliverDue();
    }
  }
  const uint64_t before = Clock().NowMs();
  uint16_t n = ReadFromQueue(rxQueue_, buffer, timeoutMs);
  // Only a wait that used up its time-out counts as silence.
  if (n == 0 && silenceHook_ && Clock().NowMs() - before >= timeoutMs) silenceHook_(*this);
  TopUp();
  return n;
}

void MemoryLink::DiscardReceived() {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  DeliverDue();
  backlog_.clear();
  rxQueue_.Clear();
}

bool MemoryLink::Open() {
  lastError.clear();
  if (connected) return true;
  if (!openError_.empty()) {
    lastError = openError_;
    return false;
  }
  MarkOpened();
  return true;
}

bool MemoryLink::Close() {
  connected = 0;
  return true;
}

std::string MemoryLink::GetDescription() {
  return connected ? "Memory link: open" : "Memory link: closed";
}

std::vector<uint8_t> MemoryLink::AllWritten() const {
  std::vector<uint8_t> all;
  for (const auto& w : writes_) all.insert(all.end(), w.begin(), w.end());
  return all;
}

void MemoryLink::ClearRecord() {
  writes_.clear();
  frames_.clear();
  unfinished_.clear();
}

}  // namespace skyh::test
