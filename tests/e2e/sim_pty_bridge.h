#pragma once
// The simulated control box served on a pseudo-terminal (or a loopback TCP
// port) by a thread of the test process; the link under test opens Path()
// like any serial port.
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "box_server.h"
#include "control_box.h"
#include "support/cli_run.h"

namespace skyh::test {

class SimPtyBridge {
 public:
  // Pty: Path() is the terminal. Socket and Rfc2217: a port on 127.0.0.1
  // with raw bytes or the COM-PORT-OPTION, Path() "socket://127.0.0.1:P" or
  // "rfc2217://127.0.0.1:P".
  enum class Face { Pty, Socket, Rfc2217 };
  // `setUp` fills the box before it starts serving.
  explicit SimPtyBridge(sim::BoxOptions options = {}, const std::function<void(sim::ControlBox&)>& setUp = {},
                        Face face = Face::Pty, size_t notifyEvery = 0);
  ~SimPtyBridge();
  SimPtyBridge(const SimPtyBridge&) = delete;
  SimPtyBridge& operator=(const SimPtyBridge&) = delete;

  bool ok() const { return !path.empty(); }
  const std::string& Path() const { return path; }
  // The box, locked against the serving thread while the view lives:
  // `bridge.Box()->counters()` within one expression.
  sim::BoxServer::View Box() const { return server.Inspect(); }
  // The box to change between two runs of a tool, locked the same way.
  sim::BoxServer::LockedView<sim::ControlBox> BoxBetweenRuns() { return server.Change(); }
  // What the host set through the COM-PORT-OPTION.
  sim::LineSettings LineSettings() const { return server.lineSettings(); }

 private:
  sim::ControlBox box;
  sim::BoxServer server{box};
  std::string path;
  std::atomic<bool> stop{false};
  std::thread serving;
};

// Default box options with `change` made: BoxWith([](auto& o) { o.baud = 9600; }).
inline sim::BoxOptions BoxWith(const std::function<void(sim::BoxOptions&)>& change) {
  sim::BoxOptions options;
  change(options);
  return options;
}

// A memory of `count` records one minute apart after a settings record.
void FillMemory(sim::BoxMemory& memory, int count);

// Helpers the end-to-end tests share.
using Records = std::vector<std::vector<uint8_t>>;
inline bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
// The demo instrument's memory in time order: `days` days (ending today when `startUtc` is 0).
std::function<void(sim::ControlBox&)> Demo(int days, int intervalMinutes = 15, int64_t startUtc = 0);
// The box's records newest first, as a retrieval keeps them.
Records NewestFirst(const sim::ControlBox& box);
// The records of a K8 file in file order; none when it cannot be read.
Records K8Records(const std::string& path);
// An INI with the demo configuration, the box on serial `port` and the log on.
std::string DemoIni(const std::string& port, const std::string& extra = "");
// The files of `folder` whose names match `pattern`, sorted; none when it is missing.
std::vector<std::string> FilesMatching(const std::string& folder, const std::string& pattern);
// A key of an instrument's section in the INI of `home`.
std::string HeadValue(const TempDir& home, const std::string& key = "last", const std::string& head = "head_1234");

// skyharvester-cli in a home of its own whose INI (DemoIni with `extra`)
// points at a simulated box; the demo scenario list is loaded.
struct CliBox {
  explicit CliBox(sim::BoxOptions options = {}, const std::function<void(sim::ControlBox&)>& setUp = {},
                  const std::string& extra = "", SimPtyBridge::Face face = SimPtyBridge::Face::Pty);
  CliRun Run(const std::string& args) const { return RunCli(home, args); }
  // A run that must end with `exitCode`.
  CliRun Run(const std::string& args, int exitCode) const;
  void Ini(const std::string& extra) const { WriteCliIni(home, DemoIni(bridge.Path(), extra)); }
  // A file of the home, quoted for the command line.
  std::string Arg(const std::string& name) const { return "'" + home / name + "'"; }
  std::string Files() const { return home / "Documents/SkyHarvester/"; }
  // The snapshots the runs wrote to the data folder.
  std::vector<std::string> Snapshots() const { return FilesMatching(Files(), ".*\\.k8"); }
  size_t BoxSize() const { return bridge.Box()->memory().size(); }
  std::string Last(const std::string& key = "last") const { return HeadValue(home, key); }
  TempDir home;
  SimPtyBridge bridge;
};

}  // namespace skyh::test
