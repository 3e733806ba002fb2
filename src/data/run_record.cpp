#include "data/run_record.h"

#include <cstdio>

#include "core/format.h"
#include "core/ini_file.h"
#include "core/text_util.h"
#include "core/time_util.h"
#include "data/retrieval.h"

namespace skyh {
namespace {

constexpr std::string_view kHeadPrefix = "head_";

std::string ValueOf(const std::vector<std::pair<std::string, std::string>>& keys, const char* key) {
  for (const auto& [k, v] : keys)
    if (EqualsNoCase(k, key)) return v;
  return {};
}

std::optional<int64_t> LastOf(const std::string& text) {
  const int64_t t = ParseLastTime(text);
  if (t == kInvalidTime) return std::nullopt;
  return t;
}

// The instrument this INI ran last: the newest "last_run", else the newest
// "last", else the only section there is.
std::string LatestHead(const std::string& iniPath) {
  const std::vector<InstrumentRunState> states = ReadRunStates(iniPath);
  const InstrumentRunState* best = nullptr;
  auto key = [](const InstrumentRunState& s) { return std::pair(s.lastRun.value_or(-1), s.last.value_or(-1)); };
  for (const InstrumentRunState& s : states)
    if (!best || key(s) > key(*best)) best = &s;
  if (!best || (key(*best) == std::pair<int64_t, int64_t>(-1, -1) && states.size() > 1)) return {};
  return best->headNumber;
}

}  // namespace

const char* RunResultName(RunResult result) {
  switch (result) {
    case RunResult::kOk: return "ok";
    case RunResult::kError: return "error";
    case RunResult::kAborted: return "aborted";
  }
  return "error";
}

bool WriteRunRecord(const std::string& iniPath, const std::string& headNumber, int64_t when, RunResult result,
                    const std::string& error) {
  const std::string head = headNumber.empty() ? LatestHead(iniPath) : headNumber;
  if (head.empty()) return false;
  const std::string section = std::string(kHeadPrefix) + head;
  std::vector<IniEntry> entries{{section, "last_run", FormatIsoUtc(when)},
                                {section, "last_run_result", RunResultName(result)},
                                {section, "last_run_error", result == RunResult::kOk ? std::string() : error}};
  if (result == RunResult::kOk) entries.push_back({section, "last_success", FormatIsoUtc(when)});
  return CIniFile(iniPath, true).WriteStrings(entries);
}

std::vector<InstrumentRunState> ReadRunStates(const std::string& iniPath) {
  const CIniFile ini(iniPath, true);
  std::vector<InstrumentRunState> out;
  for (const std::string& name : ini.SectionNames()) {
    if (name.size() <= kHeadPrefix.size() || !EqualsNoCase(std::string_view(name).substr(0, 5), kHeadPrefix)) continue;
    const auto keys = ini.GetSection(name);
    InstrumentRunState s;
    s.headNumber = name.substr(kHeadPrefix.size());
    s.lastSuccess = ParseIsoUtc(ValueOf(keys, "last_success"));
    s.last = LastOf(ValueOf(keys, "last"));
    s.lastRun = ParseIsoUtc(ValueOf(keys, "last_run"));
    s.lastRunResult = ValueOf(keys, "last_run_result");
    s.lastRunError = ValueOf(keys, "last_run_error");
    out.push_back(std::move(s));
  }
  return out;
}

std::string FormatIsoUtc(int64_t time) {
  DateTimeFields f;
  if (!TimeToFields(time, f)) return {};
  return Sprintf("%04d-%02d-%02dT%02d:%02d:%02dZ", f.year, f.month, f.day, f.hour, f.minute, f.second);
}

std::optional<int64_t> ParseIsoUtc(const std::string& text) {
  DateTimeFields f;
  char extra = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2dZ%c", &f.year, &f.month, &f.day, &f.hour, &f.minute, &f.second,
                  &extra) != 6)
    return std::nullopt;
  const int64_t t = FieldsToTime(f);
  // No carrying: a text that does not come back the same is no such time.
  if (t == kInvalidTime || FormatIsoUtc(t) != text) return std::nullopt;
  return t;
}

}  // namespace skyh
