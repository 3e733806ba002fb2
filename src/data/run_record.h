#pragma once
// What a monitoring script reads about each instrument: the retrievals
// record their time and result in the instrument's INI section ("head_" +
// number), beside "last":
//   last_run         time of the latest run (UTC, "YYYY-MM-DDTHH:MM:SSZ")
//   last_run_result  "ok", "error" or "aborted"
//   last_run_error   why that run failed; empty otherwise
//   last_success     time of the latest run that ended "ok"
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace skyh {

enum class RunResult { kOk, kError, kAborted };
const char* RunResultName(RunResult result);

// Writes the run's keys in one replace of the file. A run that could not
// tell which instrument it talked to (no link, no settings, no parameter
// file) is written to the instrument this INI ran last. False when the file
// could not be written or there is no instrument section to write to.
bool WriteRunRecord(const std::string& iniPath, const std::string& headNumber, int64_t when, RunResult result,
                    const std::string& error);

// One "head_" section as read back: a time that is missing or unreadable is
// nullopt, a missing text empty.
struct InstrumentRunState {
  std::string headNumber;
  std::optional<int64_t> lastSuccess, last, lastRun;
  std::string lastRunResult;  // as written; empty when unknown
  std::string lastRunError;
};
std::vector<InstrumentRunState> ReadRunStates(const std::string& iniPath);

// "YYYY-MM-DDTHH:MM:SSZ"; empty for an invalid time.
std::string FormatIsoUtc(int64_t time);
// Nothing for a text that is not such a time.
std::optional<int64_t> ParseIsoUtc(const std::string& text);

}  // namespace skyh
