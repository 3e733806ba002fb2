#pragma once
// The simulated control box served on a pseudo-terminal by a thread of the
// test process; the link under test opens Path() like any serial port.
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "control_box.h"
#include "support/pty_peer.h"

namespace skyh::test {

class SimPtyBridge {
 public:
  explicit SimPtyBridge(sim::BoxOptions options = {});
  ~SimPtyBridge();
  SimPtyBridge(const SimPtyBridge&) = delete;
  SimPtyBridge& operator=(const SimPtyBridge&) = delete;

  const std::string& Path() const { return peer.SlavePath(); }
  // Runs `f` on the box while the serving thread keeps off it.
  void WithBox(const std::function<void(sim::ControlBox&)>& f);

 private:
  void Serve();

  PtyPeer peer;
  sim::ControlBox box;
  std::mutex boxLock;
  int stopEvent = -1;
  std::thread server;
};

// A memory of `count` records one minute apart after a settings record.
void FillMemory(sim::BoxMemory& memory, int count);

}  // namespace skyh::test
