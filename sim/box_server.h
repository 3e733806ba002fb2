#pragma once
// Serves a ControlBox over a pseudo-terminal, a loopback TCP port, or a pair
// of file descriptors (standard input and output). One thread drives the box.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "com_port_server.h"
#include "control_box.h"

namespace skyh::sim {

class BoxServer {
 public:
  explicit BoxServer(ControlBox& box) : box_(box) {}
  ~BoxServer();
  BoxServer(const BoxServer&) = delete;
  BoxServer& operator=(const BoxServer&) = delete;

  // A raw-mode pseudo-terminal; `slavePath` is what the host opens. Each
  // open of that path by the host counts as a reopen of the line.
  bool OpenPseudoTerminal(std::string& slavePath, std::string& error);
  // Listens on 127.0.0.1; port 0 picks a free one. Each accepted connection
  // is a reopen; one host at a time.
  bool ListenTcp(uint16_t port, uint16_t& boundPort, std::string& error);
  // Reads the host's bytes from `in` and answers on `out`; ends at end of input.
  void UseDescriptors(int in, int out);
  // With ListenTcp: each connection speaks Telnet with the COM-PORT-OPTION,
  // with a modem-state notification after every `notifyEvery` bytes of
  // answers (0: none). Set before Run.
  void SpeakComPortOption(size_t notifyEvery) {
    comPort_ = true;
    notifyEvery_ = notifyEvery;
  }
  // The line settings the last host set through the option.
  LineSettings lineSettings() const {
    std::lock_guard<std::mutex> guard(boxLock_);
    return lineSettings_;
  }
  // Called when the host sets a line speed (on the serving thread); the box's
  // line timing follows it when the box models one.
  std::function<void(const LineSettings&)> onLineSettings;

  // Called with every chunk in each direction (true: host to box), for tracing.
  std::function<void(bool toBox, const uint8_t* data, size_t size)> trace;

  // Serves until `stop` is set (checked at least every 50 ms) or the input ends.
  void Run(const std::atomic<bool>& stop);

  // The box as another thread may look at it while Run serves: the server
  // does not touch the box while a view lives. Keep a view only as long as
  // the look takes (an exchange made meanwhile would wait for it).
  template <typename Box>
  class LockedView {
   public:
    LockedView(std::mutex& lock, Box& box) : guard_(lock), box_(box) {}
    Box* operator->() const { return &box_; }
    Box& operator*() const { return box_; }

   private:
    std::unique_lock<std::mutex> guard_;
    Box& box_;
  };
  using View = LockedView<const ControlBox>;
  View Inspect() const { return View(boxLock_, box_); }
  // The same, for a test that changes the box between two host sessions.
  LockedView<ControlBox> Change() { return LockedView<ControlBox>(boxLock_, box_); }

 private:
  void Deliver(const uint8_t* data, size_t size);
  void Flush();
  int PollTimeoutMs() const;
  int64_t NextOutputDueMs() const;
  void Reopen();
  void HandleInotify();
  void RunPseudoTerminal(const std::atomic<bool>& stop);
  void RunTcp(const std::atomic<bool>& stop);
  void RunDescriptors(const std::atomic<bool>& stop);
  void Accepted();
  void DropClient();

  enum class Mode { None, Pty, Tcp, Fds } mode_ = Mode::None;
  ControlBox& box_;
  // Held by the serving thread whenever it uses box_.
  mutable std::mutex boxLock_;
  int master_ = -1, inotify_ = -1, listen_ = -1, client_ = -1, in_ = -1, out_ = -1;
  int writeFd_ = -1;
  bool comPort_ = false;
  size_t notifyEvery_ = 0;
  std::unique_ptr<ComPortServer> telnet_;  // per connection
  LineSettings lineSettings_;
};

}  // namespace skyh::sim
