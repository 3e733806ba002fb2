#include "sim_pty_bridge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>

#include "core/ini_file.h"
#include "data/record_store.h"
#include "demo_instrument.h"
#include "records/scenario_list.h"

namespace skyh::test {

SimPtyBridge::SimPtyBridge(sim::BoxOptions options, const std::function<void(sim::ControlBox&)>& setUp, Face face,
                           size_t notifyEvery)
    : box(std::move(options)) {
  if (setUp) setUp(box);
  std::string error;
  uint16_t port = 0;
  if (face == Face::Pty) {
    if (!server.OpenPseudoTerminal(path, error)) {
      path.clear();
      return;
    }
  } else {
    if (!server.ListenTcp(0, port, error)) return;
    if (face == Face::Rfc2217) server.SpeakComPortOption(notifyEvery);
    path = (face == Face::Rfc2217 ? "rfc2217://127.0.0.1:" : "socket://127.0.0.1:") + std::to_string(port);
  }
  serving = std::thread([this] { server.Run(stop); });
}

SimPtyBridge::~SimPtyBridge() {
  stop = true;
  if (serving.joinable()) serving.join();
}

void FillMemory(sim::BoxMemory& memory, int count) {
  sim::Bytes settings(120);
  for (size_t i = 0; i < settings.size(); ++i) settings[i] = uint8_t(i * 7);
  memory.SetSettings(sim::MakeRecord(sim::kSettingsRecordType, sim::PackTime(2024, 1, 1, 0, 0, 0), settings));
  int64_t t = 1704067200;  // 2024-01-01
  for (int i = 0; i < count; ++i) {
    sim::Bytes body(20 + size_t(i % 40));
    for (size_t j = 0; j < body.size(); ++j) body[j] = uint8_t(i + j);
    memory.Append(sim::MakeRecord(uint8_t(0x10 + i % 4), sim::PackTime(t + 60 * i), body));
  }
}

std::function<void(sim::ControlBox&)> Demo(int days, int intervalMinutes, int64_t startUtc) {
  return [=](sim::ControlBox& box) {
    sim::GenerateDemoMemory({startUtc, days, intervalMinutes}, box.memory());
    box.memory().SortByTime();
  };
}

Records NewestFirst(const sim::ControlBox& box) {
  Records r = box.memory().records();
  std::reverse(r.begin(), r.end());
  return r;
}

Records K8Records(const std::string& path) {
  RecordStore store;
  Records out;
  if (!store.LoadFromFile(path)) return out;
  for (int i = 0; i < store.Count(); ++i)
    out.emplace_back(store.At(i)->raw(), store.At(i)->raw() + store.At(i)->length());
  return out;
}

std::string DemoIni(const std::string& port, const std::string& extra) {
  return "[general]\nconfiguration=" SKYH_SOURCE_DIR "/demo/\n[communication]\ntype=1\nport=" + port + "\nlog=1\n" +
         extra;
}

std::vector<std::string> FilesMatching(const std::string& folder, const std::string& pattern) {
  std::vector<std::string> out;
  const std::regex re(pattern);
  if (!std::filesystem::is_directory(folder)) return out;
  for (auto& e : std::filesystem::directory_iterator(folder))
    if (std::regex_match(e.path().filename().string(), re)) out.push_back(e.path().string());
  std::sort(out.begin(), out.end());
  return out;
}

CliBox::CliBox(sim::BoxOptions options, const std::function<void(sim::ControlBox&)>& setUp, const std::string& extra,
               SimPtyBridge::Face face)
    : bridge(std::move(options), setUp, face, 40) {
  GetScenarioList().Load(SKYH_SOURCE_DIR "/demo/ScnList.dat");
  Ini(extra);
}

CliRun CliBox::Run(const std::string& args, int exitCode) const {
  CliRun run = RunCli(home, args);
  EXPECT_EQ(run.exitCode, exitCode) << args << "\n" << run.out << run.err;
  return run;
}

std::string HeadValue(const TempDir& home, const std::string& key, const std::string& head) {
  return CIniFile(CliIniPath(home)).GetString(head, key, "");
}

}  // namespace skyh::test
