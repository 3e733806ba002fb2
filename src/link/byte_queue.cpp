#include "link/byte_queue.h"

namespace skyh {

ByteQueue::ByteQueue(uint16_t capacity) { Allocate(capacity); }

void ByteQueue::Allocate(uint16_t capacity) {
  std::lock_guard<std::mutex> guard(lock_);
  buffer_.reset(new uint8_t[capacity == 0 ? 1 : capacity]);
  capacity_ = capacity;
  readIndex_ = writeIndex_ = 0;
  full_ = false;
}

bool ByteQueue::Put(uint8_t byte) {
  bool result = true;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (!full_ && capacity_ != 0) {
      buffer_[writeIndex_] = byte;
      if (++writeIndex_ == capacity_) writeIndex_ = 0;
      if (writeIndex_ == readIndex_) {
        full_ = true;
        result = false;
      }
    }
    signalled_ = true;
  }
  dataSignal_.notify_one();
  return result;
}

bool ByteQueue::Get(uint8_t& byte) {
  std::lock_guard<std::mutex> guard(lock_);
  if (!full_ && readIndex_ == writeIndex_) return false;
  byte = buffer_[readIndex_];
  if (++readIndex_ == capacity_) readIndex_ = 0;
  full_ = false;
  return true;
}

uint16_t ByteQueue::CountLocked() const {
  if (full_) return capacity_;
  if (writeIndex_ >= readIndex_) return static_cast<uint16_t>(writeIndex_ - readIndex_);
  return static_cast<uint16_t>(capacity_ - readIndex_ + writeIndex_);
}

uint16_t ByteQueue::Count() const {
  std::lock_guard<std::mutex> guard(lock_);
  return CountLocked();
}

uint16_t ByteQueue::GetBlock(uint8_t* out, uint16_t maxBytes) {
  std::lock_guard<std::mutex> guard(lock_);
  uint16_t available = CountLocked();
  uint16_t n = available < maxBytes ? available : maxBytes;
  for (uint16_t i = 0; i < n; ++i) {
    out[i] = buffer_[readIndex_];
    if (++readIndex_ == capacity_) readIndex_ = 0;
  }
  if (n != 0) full_ = false;
  return n;
}

void ByteQueue::Clear() {
  std::lock_guard<std::mutex> guard(lock_);
  readIndex_ = writeIndex_ = 0;
  full_ = false;
}

bool ByteQueue::WaitForData(uint32_t timeoutMs, MonotonicClock& clock) {
  std::unique_lock<std::mutex> guard(lock_);
  if (CountLocked() != 0) return true;
  bool got = clock.WaitFor(dataSignal_, guard, timeoutMs, [this] { return signalled_; });
  signalled_ = false;
  return got;
}

uint16_t ByteQueue::WaitAndGet(uint8_t* out, uint16_t maxBytes, uint32_t timeoutMs,
                               MonotonicClock& clock) {
  if (!WaitForData(timeoutMs, clock)) return 0;
  // The signal may be left over from bytes already taken.
  return GetBlock(out, maxBytes);
}

}  // namespace skyh
