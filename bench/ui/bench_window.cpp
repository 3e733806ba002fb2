// The window on the store benchmark's year of data (1,000,000 records), on
// the offscreen platform: Open to first paint (load, model reset, paint),
// sorting the list by each column (every record shown), scrolling, and the
// window's memory.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "store_data.h"
#include "ui/models/record_table_model.h"
#include "ui/progress_dlg.h"
#include "ui/skyharvester_dlg.h"

namespace {

using namespace skyh;
namespace fs = std::filesystem;

struct Window {
  fs::path folder = fs::temp_directory_path() / ("skyh_bench_window_" + std::to_string(getpid()));
  std::string file;
  std::unique_ptr<ui::CSkyHarvesterDlg> w;
  Window() {
    fs::create_directories(folder);
    std::ofstream(folder / "ScnList.dat") << bench::kScenarios;
    std::ofstream(folder / "SkyHarvester.ini") << "[general]\nconfiguration=" << folder.string() << "/\n[communication]\nViewUnknown=1\n";
    file = (folder / "year.k8").string();
    bench::MakeDataFile(file);
    StartUpPaths paths;
    paths.iniPath = (folder / "SkyHarvester.ini").string();
    w = std::make_unique<ui::CSkyHarvesterDlg>(paths);
    w->Progress().closeDelayScale = 0;
    w->Initialise();
    w->show();
    if (!QTest::qWaitForWindowExposed(w.get())) std::fprintf(stderr, "the window was not shown\n");
  }
  ~Window() {
    w.reset();
    fs::remove_all(folder);
  }
};

Window& Shared() {
  static Window window;
  return window;
}

// Resident memory now, in bytes.
double ResidentBytes() {
  long pages = 0, resident = 0;
  std::ifstream("/proc/self/statm") >> pages >> resident;
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE));
}

void BM_OpenToFirstPaint(benchmark::State& state) {
  Window& b = Shared();
  const double before = ResidentBytes();
  for (auto _ : state) {
    b.w->OpenFiles({b.file}, true);
    if (!QTest::qWaitFor([&] { return !b.w->Busy(); }, 120000)) state.SkipWithError("the load did not end");
    b.w->List().viewport()->repaint();
  }
  const double fileBytes = static_cast<double>(fs::file_size(b.file));
  state.counters["records"] = b.w->Store().Count();
  state.counters["rows"] = b.w->Model().rowCount();
  state.counters["texts_built"] = static_cast<double>(b.w->Model().TextsBuilt());
  state.counters["file_MiB"] = fileBytes / 1048576.0;
  state.counters["window_MiB"] = ResidentBytes() / 1048576.0;
  state.counters["store_and_model_MiB"] = (ResidentBytes() - before) / 1048576.0;
  state.counters["memory_per_file_byte"] = ResidentBytes() / fileBytes;
}

void BM_Scroll(benchmark::State& state) {
  Window& b = Shared();
  QScrollBar* bar = b.w->List().verticalScrollBar();
  const uint64_t before = b.w->Model().TextsBuilt();
  int pages = 0;
  for (auto _ : state) {
    for (int i = 1; i <= 100; ++i, ++pages) {
      bar->setValue(bar->maximum() / 100 * i);
      b.w->List().viewport()->repaint();
    }
  }
  state.counters["texts_per_page"] = static_cast<double>(b.w->Model().TextsBuilt() - before) / pages;
}

void BM_Sort(benchmark::State& state) {
  Window& b = Shared();
  for (auto _ : state) {
    b.w->Model().SortByColumn(static_cast<int>(state.range(0)));
    b.w->List().viewport()->repaint();
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

}  // namespace

BENCHMARK(BM_OpenToFirstPaint)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Scroll)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sort)->ArgName("column")->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Iterations(1)->Unit(benchmark::kMillisecond);
