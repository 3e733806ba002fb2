#pragma once
// The far end of a pseudo-terminal: a test opens `SlavePath()` as a serial
// port and talks to it through the master side here.
#include <cstdint>
#include <string>
#include <vector>

namespace skyh::test {

class PtyPeer {
 public:
  PtyPeer();
  ~PtyPeer();
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  bool ok() const { return master >= 0; }
  const std::string& SlavePath() const { return slavePath; }

  bool Write(const std::vector<uint8_t>& bytes);
  bool Write(const std::string& text);
  // Reads until `count` bytes came or `timeoutMs` passed without a byte.
  std::vector<uint8_t> Read(size_t count, int timeoutMs);

 private:
  void CloseMaster();
  int master = -1;
  int slaveKeeper = -1;  // keeps the line up while the port under test is closed
  std::string slavePath;
};

}  // namespace skyh::test
