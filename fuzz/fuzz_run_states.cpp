// An INI as a monitoring run reads it, then a run recorded into it: every
// time read back must print as it was read, and the recorded run must read
// back as written.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#include "data/run_record.h"

using namespace skyh;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (auto t = ParseIsoUtc(text); t && FormatIsoUtc(*t) != text) __builtin_trap();

  static const std::string path = "/tmp/fuzz_run_states_" + std::to_string(getpid()) + ".ini";
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  for (const InstrumentRunState& s : ReadRunStates(path)) {
    for (const auto& time : {s.lastRun, s.lastSuccess})
      if (time && !ParseIsoUtc(FormatIsoUtc(*time))) __builtin_trap();
  }
  const int64_t when = 1764936000;  // 2025-12-05 12:00:00
  if (!WriteRunRecord(path, "", when, RunResult::kError, "fuzz")) return 0;
  bool found = false;
  for (const InstrumentRunState& s : ReadRunStates(path))
    found = found || (s.lastRun == when && s.lastRunResult == "error" && s.lastRunError == "fuzz");
  if (!found) __builtin_trap();
  return 0;
}
