#pragma once
// Fixed-capacity ring buffer of bytes that one thread fills and another
// drains, with a signal that wakes a waiting reader when bytes are added.
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "link/monotonic_clock.h"

namespace skyh {

class ByteQueue {
 public:
  static constexpr uint16_t kDefaultCapacity = 4096;

  explicit ByteQueue(uint16_t capacity = kDefaultCapacity);
  ByteQueue(const ByteQueue&) = delete;
  ByteQueue& operator=(const ByteQueue&) = delete;

  // Replaces the storage with `capacity` bytes and empties the queue.
  void Allocate(uint16_t capacity);
  uint16_t Capacity() const { return capacity_; }

  // Stores the byte unless the queue is full. Returns false exactly when
  // this byte made the queue full (the byte is kept); a byte offered to a
  // queue that was already full is dropped and the result is true. Always
  // signals a waiting reader.
  bool Put(uint8_t byte);
  // Takes the oldest byte; false when the queue is empty.
  bool Get(uint8_t& byte);
  uint16_t Count() const;

  // Takes up to `maxBytes` bytes in one locked step; returns how many.
  uint16_t GetBlock(uint8_t* out, uint16_t maxBytes);
  // Empties the queue (the signal is left alone).
  void Clear();

  // True at once when bytes are queued; otherwise waits up to `timeoutMs`
  // on `clock` for the data signal and returns whether it came. The signal
  // holds one release only and may be left over from bytes already taken,
  // so a true result does not promise bytes.
  bool WaitForData(uint32_t timeoutMs, MonotonicClock& clock = CurrentClock());
  // The read of a transport whose receive thread fills this queue: waits as
  // WaitForData, then takes up to `maxBytes`; 0 when none came.
  uint16_t WaitAndGet(uint8_t* out, uint16_t maxBytes, uint32_t timeoutMs, MonotonicClock& clock);

 private:
  uint16_t CountLocked() const;

  std::unique_ptr<uint8_t[]> buffer_;
  uint16_t capacity_ = 0;
  uint16_t readIndex_ = 0;
  uint16_t writeIndex_ = 0;
  bool full_ = false;
  mutable std::mutex lock_;
  std::condition_variable dataSignal_;
  bool signalled_ = false;
};

}  // namespace skyh
