// The record store on a year of data: 1,000,000 records of about 60 bytes,
// four types (one unknown), about 5% duplicates, not in time order.
//
// The steps run once each, in the order a user takes them, on one store:
// load, remove duplicates, order, save, daily K8 export, daily ASCII export.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "core/text_util.h"
#include "data/ascii_export.h"
#include "data/k8_export.h"
#include "data/k8_file.h"
#include "data/record_store.h"
#include "records/scenario_list.h"
#include "store_data.h"

namespace {

using namespace skyh;
using namespace skyh::bench;
namespace fs = std::filesystem;

struct Bench {
  fs::path folder;
  std::string file;
  RecordStore store;
  Bench() {
    folder = fs::temp_directory_path() / ("skyh_bench_store_" + std::to_string(getpid()));
    fs::create_directories(folder);
    file = (folder / "year.k8").string();
  }
  ~Bench() { fs::remove_all(folder); }
};

Bench& Shared() {
  static Bench bench;
  return bench;
}

void ReportPeak(benchmark::State& state) {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_Load(benchmark::State& state) {
  Bench& b = Shared();
  GetScenarioList().LoadText(kScenarios);
  MakeDataFile(b.file);
  for (auto _ : state) {
    b.store.Clear();
    if (!b.store.LoadFromFile(b.file)) state.SkipWithError("load failed");
  }
  state.counters["records"] = b.store.Count();
  state.counters["bytes"] = static_cast<double>(fs::file_size(b.file));
  ReportPeak(state);
}

void BM_RemoveDuplicates(benchmark::State& state) {
  Bench& b = Shared();
  int32_t removed = 0;
  for (auto _ : state) removed = b.store.RemoveDuplicates();
  state.counters["removed"] = removed;
  ReportPeak(state);
}

void BM_Order(benchmark::State& state) {
  Bench& b = Shared();
  bool changed = false;
  for (auto _ : state) changed = b.store.Order(true);
  state.counters["changed"] = changed;
  ReportPeak(state);
}

void BM_Save(benchmark::State& state) {
  Bench& b = Shared();
  std::string out = (b.folder / "saved.k8").string();
  for (auto _ : state) {
    if (!b.store.SaveToFile(out, false)) state.SkipWithError("save failed");
  }
  ReportPeak(state);
}

void BM_ExportK8Daily(benchmark::State& state) {
  Bench& b = Shared();
  std::string out = (b.folder / "k8").string();
  for (auto _ : state) {
    if (ExportK8ByPeriod(b.store, out, FileNaming{"SP%VERS%_%HEAD%", kPeriodDaily}) != 0) {
      state.SkipWithError("export failed");
    }
  }
  state.counters["files"] = static_cast<double>(std::distance(fs::directory_iterator(out), fs::directory_iterator()));
  ReportPeak(state);
}

void BM_ExportAsciiDaily(benchmark::State& state) {
  Bench& b = Shared();
  std::string out = (b.folder / "ascii").string();
  for (auto _ : state) {
    if (ExportAsciiByPeriod(b.store, out, FileNaming{"SP%VERS%_%HEAD%", kPeriodDaily}) != 0) {
      state.SkipWithError("export failed");
    }
  }
  state.counters["files"] = static_cast<double>(std::distance(fs::directory_iterator(out), fs::directory_iterator()));
  ReportPeak(state);
}

}  // namespace

BENCHMARK(BM_Load)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RemoveDuplicates)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Order)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Save)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportK8Daily)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportAsciiDaily)->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
