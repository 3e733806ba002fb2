// A whole retrieval of 2,000 records from the simulated box over a
// pseudo-terminal and the serial link: unpaced (records per second) and at an
// emulated 9600 baud, against the time the bytes alone need on the wire.
#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>

#include "box_server.h"
#include "control_box.h"
#include "data/retrieval.h"
#include "demo_instrument.h"
#include "link/ccom_serial.h"
#include "records/scenario_list.h"
#include "settings/instrument_info.h"

namespace {

using namespace skyh;

constexpr int kRecords = 2000;

void FillBox(sim::ControlBox& box) {
  sim::DemoOptions demo;
  demo.startUtc = 1733011200;  // 2024-12-01
  demo.days = 30;
  demo.intervalMinutes = 10;
  sim::GenerateDemoMemory(demo, box.memory());
  box.memory().SortByTime();
  // Keep the newest kRecords.
  std::vector<sim::Bytes> records = box.memory().records();
  box.memory().Clear();
  for (size_t i = records.size() - kRecords; i < records.size(); ++i) box.memory().Append(records[i]);
}

void Retrieval(benchmark::State& state) {
  const int baud = static_cast<int>(state.range(0));
  GetScenarioList().Load(SKYH_SOURCE_DIR "/demo/ScnList.dat");
  CConfiguration config;
  config.configurationDirectory = SKYH_SOURCE_DIR "/demo/";
  config.retrieveMissing = 0;
  config.retrieveLimited = 0;
  NullProgress progress;
  NullStatusLine status;
  double wireSeconds = 0, records = 0;
  for (auto _ : state) {
    state.PauseTiming();
    sim::BoxOptions options;
    options.baud = baud;
    sim::ControlBox box(options);
    FillBox(box);
    sim::BoxServer server(box);
    std::string path, error;
    if (!server.OpenPseudoTerminal(path, error)) {
      state.SkipWithError(error.c_str());
      return;
    }
    std::atomic<bool> stop{false};
    std::thread serving([&] { server.Run(stop); });
    CComSerial link;
    link.SetPortName(path);
    link.Open();
    RetrievalEnv env{link, config, "", progress, status, false, SetHeadNumberFromSettings, {}};
    state.ResumeTiming();

    const RetrievalOutcome outcome = Retrieve(env);
    const RetrievalStatus rc = outcome.status;
    const RecordStore empty;
    const RecordStore& store = outcome.store ? *outcome.store : empty;

    state.PauseTiming();
    const double sent = 10.0 * box.counters().commands;  // no request of the walk has a payload
    wireSeconds += (sent + link.ReceivedBytes()) / (baud ? baud / 10.0 : 1e12);
    records += store.Count();
    link.Close();
    stop = true;
    serving.join();
    if (rc != RetrievalStatus::kFinished || store.Count() != kRecords) state.SkipWithError("retrieval incomplete");
    state.ResumeTiming();
  }
  state.counters["records_per_s"] = benchmark::Counter(records, benchmark::Counter::kIsRate);
  if (baud) state.counters["wire_bound_s"] = wireSeconds / state.iterations();
}

BENCHMARK(Retrieval)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(Retrieval)->Arg(9600)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
