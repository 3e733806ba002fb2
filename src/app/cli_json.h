#pragma once
// --json: a command's result as one JSON object on stdout, for scripts.
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "data/record_store.h"

namespace skyh::cli {

// Fields keep the order they were set in.
using Json = nlohmann::ordered_json;

constexpr const char* kJsonFlag = "json";
constexpr const char* kJsonHelp =
    "  --json                   the result as one JSON object on stdout (text goes to stderr)\n";

// On when the arguments hold --json. While it lives, whatever the command
// prints on stdout for people goes to stderr, so that stdout holds JSON only.
class JsonOutput {
 public:
  explicit JsonOutput(const std::vector<std::string>& args);
  ~JsonOutput();
  JsonOutput(const JsonOutput&) = delete;
  JsonOutput& operator=(const JsonOutput&) = delete;

  bool On() const { return on_; }
  // One object as one line on the real stdout, at once.
  void Emit(const Json& object) const;
  // The command's object with "exit_code", and with "error" (the error noted
  // last) when the command failed without saying why; gives `exitCode`.
  // Off: gives `exitCode` alone.
  int Finish(Json object, int exitCode) const;

 private:
  bool on_ = false;
  int realStdout_ = -1;
};

// An error the command has printed for people, kept for the JSON object.
void NoteError(const std::string& text);
const std::string& NotedError();
// Prints the error as a line on stderr and notes it.
void ReportError(const std::string& text);

// A time as "YYYY-MM-DDTHH:MM:SSZ", null when there is none.
Json TimeJson(int64_t time);

// What a store holds, for `info` and the retrieval summaries.
struct StoreSummary {
  struct Type {
    uint8_t type = 0;
    std::string name;  // the layout's; empty for records no layout describes
    int count = 0;
  };
  std::vector<Type> types;  // by type byte, then name
  int32_t total = 0;
  int32_t unknown = 0;
  int64_t first = -1, last = -1;  // time stamps; -1 when no record has one
};
StoreSummary SummariseStore(const RecordStore& store);
// {"total", "unknown", "by_type": [{"type", "name", "count"}]}
Json RecordsJson(const StoreSummary& summary);

}  // namespace skyh::cli
