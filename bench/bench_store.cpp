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

namespace {

using namespace skyh;
namespace fs = std::filesystem;

constexpr int kRecords = 1000000;

const char kScenarios[] =
    "S:1,0x1A,SUN,Direct sun,0\n"
    "I:SP81000000-SP81FFFFFF\n"
    "E:VAL_DATE_TIME,3\n"
    "E:VAL_TEMP,7,D=1\n"
    "E:VAL_HUM,9\n"
    "E:VAL_BAT,10\n"
    "E:VAL_RPT,11\n"
    "E:VAL_CN,12,DIV=10,D=2\n"
    "E:VAL_PRES,16\n"
    "S:2,0x2B,SKY,Sky scan,0\n"
    "E:VAL_ANGLE,7,D=2\n"
    "E:VAL_ANGLE,11,D=2\n"
    "E:VAL_LONG,15\n"
    "E:VAL_WORD,19\n"
    "E:VAL_SHORT,21\n"
    "S:3,0x3C,STAT,Status,0\n"
    "C:BEQ,7,1\n"
    "E:VAL_BYTE,7\n"
    "E:VAL_DWORD,8,D=HEX\n"
    "E:VAL_TEMP,12,D=1\n";

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

std::vector<uint8_t> Record(uint8_t type, uint32_t packed, std::mt19937& random) {
  size_t length = 58 + random() % 8;
  std::vector<uint8_t> r(length);
  r[0] = type;
  r[1] = static_cast<uint8_t>(length);
  r[2] = 0;
  for (int i = 0; i < 4; ++i) r[3 + i] = static_cast<uint8_t>(packed >> (8 * i));
  for (size_t i = 7; i < length - 3; ++i) r[i] = static_cast<uint8_t>(random());
  r[11] = 4;  // repeat count of the SUN layout
  r[7] = type == 0x3C ? 1 : r[7];
  r[length - 3] = 0xFE;
  r[length - 2] = static_cast<uint8_t>(length);
  r[length - 1] = 0;
  return r;
}

// Writes the data file of a year of records, duplicates among them.
void MakeDataFile(const std::string& path) {
  std::mt19937 random(2014);
  std::string image;
  std::vector<uint8_t> header(60, 0x30);
  header[0] = 0x7C;
  header[1] = 60;
  header[2] = 0;
  const uint8_t version[] = {0x81, 0x00, 0x01, 0x00, 0x02, 0x0E};
  std::copy(std::begin(version), std::end(version), header.begin() + 7);
  header[57] = 0xFE;
  header[58] = 60;
  header[59] = 0;
  image.append(header.begin(), header.end());
  const uint8_t types[] = {0x1A, 0x2B, 0x3C, 0x5D};
  std::vector<size_t> starts;
  for (int i = 0; i < kRecords; ++i) {
    if (!starts.empty() && random() % 100 < 5) {
      // A record retrieved twice.
      size_t at = starts[random() % starts.size()];
      size_t length = static_cast<uint8_t>(image[at + 1]);
      image.append(image, at, length);
      continue;
    }
    int day = 1 + static_cast<int>(random() % 365);
    int month = 1, mday = day;
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    while (mday > kDays[month - 1]) mday -= kDays[month++ - 1];
    uint32_t packed = 14u << 26 | static_cast<uint32_t>(month) << 22 | static_cast<uint32_t>(mday) << 17 |
                      static_cast<uint32_t>(random() % 24) << 12 | static_cast<uint32_t>(random() % 60) << 6 |
                      static_cast<uint32_t>(random() % 60);
    auto r = Record(types[random() % 4], packed, random);
    starts.push_back(image.size());
    image.append(r.begin(), r.end());
  }
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(image.data(), 1, image.size(), f);
  std::fclose(f);
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
