// The plot window on the store benchmark's year of data (1,000,000 records),
// on the offscreen platform: from the choice of one element to the first
// painted chart (record types, extraction, reduction per pixel column,
// paint), and a zoom step (reduction and paint only).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "records/scenario_list.h"
#include "store_data.h"
#include "ui/models/plot_model.h"
#include "ui/plot/plot_chart_view.h"
#include "ui/plot/plot_window.h"

namespace {

using namespace skyh;
namespace fs = std::filesystem;

struct Year {
  RecordStore store;
  Year() {
    const fs::path file = fs::temp_directory_path() / ("skyh_bench_plot_" + std::to_string(getpid()) + ".k8");
    bench::MakeDataFile(file.string());
    GetScenarioList().LoadText(bench::kScenarios);
    if (!store.LoadFromFile(file.string())) std::fprintf(stderr, "the data file did not load\n");
    fs::remove(file);
  }
};

Year& Shared() {
  static Year year;
  return year;
}

// The SUN type's temperature (its second definition).
int SunType(const ui::PlotWindow& w) {
  for (size_t i = 0; i < w.Types().size(); ++i)
    if (w.Types()[i].scenario->name == "SUN") return static_cast<int>(i);
  return -1;
}

void BM_PlotYearOfOneElement(benchmark::State& state) {
  Year& y = Shared();
  double points = 0, samples = 0;
  for (auto _ : state) {
    ui::PlotWindow w([&y]() -> const RecordStore* { return &y.store; });
    w.resize(1200, 700);
    w.show();
    if (!QTest::qWaitForWindowExposed(&w)) state.SkipWithError("the plot was not shown");
    const int sun = SunType(w);
    w.Choose(sun, {1});
    QApplication::processEvents();  // the reduction runs from the event loop
    w.View()->viewport()->repaint();
    points = w.PointsShown();
    samples = static_cast<double>(w.Types()[sun].records);
  }
  state.counters["records"] = y.store.Count();
  state.counters["type_records"] = samples;
  state.counters["points_drawn"] = points;
}

void BM_PlotPhases(benchmark::State& state) {
  Year& y = Shared();
  QElapsedTimer clock;
  double types = 0, extract = 0, decimate = 0;
  for (auto _ : state) {
    clock.start();
    std::vector<ui::PlotRecordType> all = ui::PlotRecordTypes(y.store);
    types = clock.nsecsElapsed() / 1e6;
    const ui::PlotRecordType* sun = nullptr;
    for (const auto& t : all)
      if (t.scenario->name == "SUN") sun = &t;
    clock.restart();
    ui::PlotSeries s = ui::ExtractSeries(y.store, sun->scenario.get(), sun->elements.at(1).key, "SUN");
    extract = clock.nsecsElapsed() / 1e6;
    clock.restart();
    auto segments = ui::Decimate(s, double(s.times.front()), double(s.times.back()), 1000);
    benchmark::DoNotOptimize(segments);
    decimate = clock.nsecsElapsed() / 1e6;
  }
  state.counters["types_ms"] = types;
  state.counters["extract_ms"] = extract;
  state.counters["decimate_ms"] = decimate;
}

void BM_PlotZoomStep(benchmark::State& state) {
  Year& y = Shared();
  ui::PlotWindow w([&y]() -> const RecordStore* { return &y.store; });
  w.resize(1200, 700);
  w.show();
  if (!QTest::qWaitForWindowExposed(&w)) state.SkipWithError("the plot was not shown");
  w.Choose(SunType(w), {1});
  QApplication::processEvents();
  for (auto _ : state) {
    w.View()->ZoomTime(0.8, w.Chart()->plotArea().center().x());
    QApplication::processEvents();
    w.View()->viewport()->repaint();
  }
  state.counters["points_drawn"] = w.PointsShown();
}

}  // namespace

BENCHMARK(BM_PlotYearOfOneElement)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlotPhases)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlotZoomStep)->Iterations(20)->Unit(benchmark::kMillisecond);
