// Decoding a large data file: 1,000,000 records of about 60 bytes against a
// scenario list with several types, a repeat group and key ranges. Reports
// the time per record and the heap bytes each decoded record holds.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdint>
#include <vector>

#include "records/record.h"
#include "records/scenario_list.h"

namespace {

using skyh::CRecord;

constexpr size_t kRecords = 1000000;
constexpr const char* kKey = "SP81000102";

constexpr const char* kLayouts =
    "; layouts of a test box\n"
    "S:1,0x7C,Settings,Instrument settings,0\n"
    "E:VAL_DWORD,7,D=HEX\n"
    "S:10,0x10,Sun,Direct sun (old firmware),0\n"
    "I:SP80000000-SP80FFFFFF\n"
    "E:VAL_TEMP,7,D=1,SEP=2C\n"
    "S:11,0x10,Sun,Direct sun,0\n"
    "I:SP81000000-SP810001FF\n"
    "I:SP82000000-SP8200FFFF\n"
    "E:VAL_DATE_TIME,3\n"
    "E:VAL_TEMP,7,D=1\n"
    "E:VAL_HUM,9,D=1\n"
    "E:VAL_BAT,10,DIV=10\n"
    "E:VAL_PRES,11\n"
    "E:VAL_ANGLE,13,D=2\n"
    "E:VAL_ANGLE,17,D=2\n"
    "E:VAL_CN,21\nE:VAL_CN,25\nE:VAL_CN,29\nE:VAL_CN,33\n"
    "E:VAL_CN,37\nE:VAL_CN,41\nE:VAL_CN,45\nE:VAL_CN,49\n"
    "S:20,0x11,Sky,Sky scan,0\n"
    "E:VAL_TEMP,7,D=1\n"
    "E:VAL_RPT,9\n"
    "E:VAL_RG,10,D=1\n"
    "E:VAL_BAT,12\n"
    "S:30,0x12,Met,Weather (wet sensor),0\n"
    "C:BEQ,7,1\n"
    "E:VAL_BYTE,7\nE:VAL_TEMP,8,D=1\nE:VAL_HUM,10\nE:VAL_PRES,11\nE:VAL_RGDEV,13\n"
    "E:VAL_WORD,15,D=HEX\nE:VAL_SHORT,17\nE:VAL_LONG,19\nE:VAL_BYTE,23,D=CHAR\n"
    "S:31,0x12,Met,Weather,0\n"
    "E:VAL_BYTE,7\nE:VAL_TEMP,8,D=1\nE:VAL_HUM,10\nE:VAL_PRES,11\n"
    "S:40,0x13,Status,Status,60\n"
    "I:SP81000000-SP810001FF\n"
    "E:VAL_DWORD,7\nE:VAL_DWORD,11\nE:VAL_WORD,15\n";

void Put(std::vector<uint8_t>& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Appends one record of the given type and body to the file image.
void AppendRecord(std::vector<uint8_t>& file, uint8_t type, uint32_t packed, const std::vector<uint8_t>& body) {
  const uint32_t length = static_cast<uint32_t>(body.size() + 10);
  file.push_back(type);
  Put(file, length, 2);
  Put(file, packed, 4);
  file.insert(file.end(), body.begin(), body.end());
  file.push_back(0xFE);
  Put(file, length, 2);
}

uint32_t Pack(int64_t minutes) {
  // 2021-01-01 plus the minutes, kept simple: 28-day months are enough here.
  const int64_t day = minutes / 1440;
  const uint32_t year = 21 + uint32_t(day / (12 * 28)), month = 1 + uint32_t(day / 28 % 12),
                 mday = 1 + uint32_t(day % 28);
  const uint32_t hour = uint32_t(minutes / 60 % 24), minute = uint32_t(minutes % 60);
  return (year << 26) | (month << 22) | (mday << 17) | (hour << 12) | (minute << 6) | 7;
}

struct DataFile {
  std::vector<uint8_t> bytes;
  std::vector<std::pair<size_t, uint16_t>> records;  // offset, length
};

const DataFile& MakeDataFile() {
  static DataFile file = [] {
    DataFile f;
    f.bytes.reserve(kRecords * 62);
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    std::vector<uint8_t> body;
    for (size_t i = 0; i < kRecords; ++i) {
      body.clear();
      const uint32_t r = next();
      uint8_t type;
      switch (i % 20) {
        case 0: case 1: case 2: case 3: case 4: case 5: case 6: case 7: case 8:
          type = 0x10;
          Put(body, 850 + r % 100, 2);
          body.push_back(static_cast<uint8_t>(r >> 8));
          body.push_back(120);
          Put(body, 10130, 2);
          Put(body, r % 28800, 4);
          Put(body, r % 7200, 4);
          for (int c = 0; c < 8; ++c) Put(body, next() & 0x00FFFFFF, 4);
          break;
        case 9: case 10: case 11: case 12: case 13:
          type = 0x11;
          Put(body, 700, 2);
          body.push_back(20);
          for (int c = 0; c < 20; ++c) Put(body, c == 3 ? 0xFFFE : next() % 2000, 2);
          body.push_back(118);
          break;
        case 14: case 15: case 16:
          type = 0x12;
          body.push_back(static_cast<uint8_t>(r & 1));
          Put(body, r % 1000, 2);
          body.push_back(60);
          Put(body, 10100, 2);
          Put(body, 0xFFFC, 2);
          Put(body, r, 2);
          Put(body, r >> 16, 2);
          Put(body, r, 4);
          for (int c = 0; c < 26; ++c) body.push_back(static_cast<uint8_t>('A' + c));
          break;
        case 17: case 18:
          type = 0x13;
          for (int c = 0; c < 50; ++c) body.push_back(static_cast<uint8_t>(next()));
          break;
        default:
          type = 0x20;  // no layout: an unknown record
          for (int c = 0; c < 48; ++c) body.push_back(static_cast<uint8_t>(next()));
          break;
      }
      const size_t offset = f.bytes.size();
      AppendRecord(f.bytes, type, Pack(static_cast<int64_t>(i)), body);
      f.records.emplace_back(offset, static_cast<uint16_t>(f.bytes.size() - offset));
    }
    return f;
  }();
  return file;
}

size_t HeapInUse() {
  struct mallinfo2 m = mallinfo2();
  return m.uordblks + m.hblkhd;
}

void LoadLayouts() {
  static bool loaded = skyh::GetScenarioList().LoadText(kLayouts);
  (void)loaded;
}

void BM_DecodeRecords(benchmark::State& state) {
  LoadLayouts();
  const DataFile& file = MakeDataFile();
  double bytesPerRecord = 0;
  size_t unknown = 0;
  for (auto _ : state) {
    const size_t before = HeapInUse();
    std::vector<CRecord> records;
    records.reserve(file.records.size());
    for (const auto& [offset, length] : file.records) {
      CRecord r;
      if (r.Decode(kKey, file.bytes.data() + offset, length)) records.push_back(std::move(r));
    }
    state.PauseTiming();
    bytesPerRecord = double(HeapInUse() - before) / double(records.size());
    unknown = 0;
    for (const CRecord& r : records) unknown += r.IsUnknown();
    records = {};
    state.ResumeTiming();
  }
  state.counters["ns_per_record"] = benchmark::Counter(
      double(file.records.size()), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert,
      benchmark::Counter::kIs1000);
  state.counters["bytes_per_record"] = bytesPerRecord;
  state.counters["raw_bytes_per_record"] = double(file.bytes.size()) / double(file.records.size());
  state.counters["sizeof_CRecord"] = sizeof(CRecord);
  state.counters["unknown_records"] = double(unknown);
}
BENCHMARK(BM_DecodeRecords)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The text of every record, as the list view and the ASCII export ask for it.
void BM_RecordTexts(benchmark::State& state) {
  LoadLayouts();
  const DataFile& file = MakeDataFile();
  constexpr size_t kTexts = 100000;
  std::vector<CRecord> records(kTexts);
  for (size_t i = 0; i < kTexts; ++i)
    records[i].Decode(kKey, file.bytes.data() + file.records[i].first, file.records[i].second);
  size_t characters = 0;
  for (auto _ : state) {
    for (const CRecord& r : records) characters += r.GetText().size();
  }
  benchmark::DoNotOptimize(characters);
  state.counters["ns_per_record"] = benchmark::Counter(
      double(kTexts), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert,
      benchmark::Counter::kIs1000);
}
BENCHMARK(BM_RecordTexts)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
