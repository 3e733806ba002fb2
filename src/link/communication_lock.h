#pragma once
// Exchanges on one link never overlap: every user of the active link holds
// this lock for its whole use of the link.
#include <chrono>
#include <mutex>

namespace skyh {

class CommunicationLock {
 public:
  // Retrieval workers wait 1000 ms; operator commands wait a little longer
  // before they say the link is busy.
  static constexpr int kWorkerWaitMs = 1000;
  static constexpr int kOperatorWaitMs = 5000;

  bool TryLockFor(int ms) { return mutex.try_lock_for(std::chrono::milliseconds(ms)); }
  void Unlock() { mutex.unlock(); }

 private:
  std::timed_mutex mutex;
};

// Holds the lock for a scope when it could be taken.
class CommunicationLockHolder {
 public:
  CommunicationLockHolder(CommunicationLock& lock, int waitMs) : lock_(lock), held_(lock.TryLockFor(waitMs)) {}
  ~CommunicationLockHolder() {
    if (held_) lock_.Unlock();
  }
  CommunicationLockHolder(const CommunicationLockHolder&) = delete;
  CommunicationLockHolder& operator=(const CommunicationLockHolder&) = delete;
  bool Held() const { return held_; }

 private:
  CommunicationLock& lock_;
  bool held_;
};

// The message an operator command gives when another user holds the link.
inline const char* LinkBusyText() { return "The link is busy with another operation; try again later.\n"; }

}  // namespace skyh
