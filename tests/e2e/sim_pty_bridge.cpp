#include "sim_pty_bridge.h"

#include <algorithm>

#include "data/record_store.h"
#include "demo_instrument.h"

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
  memory.SetSettings(sim::MakeRecord(sim::kSettingsRecordType, sim::PackTime(2024, 1, 1, 0, 0, 0),
                                     settings));
  int64_t t = 1704067200;  // 2024-01-01
  for (int i = 0; i < count; ++i) {
    sim::Bytes body(20 + size_t(i % 40));
    for (size_t j = 0; j < body.size(); ++j) body[j] = uint8_t(i + j);
    memory.Append(sim::MakeRecord(uint8_t(0x10 + i % 4), sim::PackTime(t + 60 * i), body));
  }
}

std::function<void(sim::ControlBox&)> Demo(int days, int intervalMinutes, int64_t startUtc) {
  return [=](sim::ControlBox& box) { sim::GenerateDemoMemory({startUtc, days, intervalMinutes}, box.memory()); };
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

}  // namespace skyh::test
