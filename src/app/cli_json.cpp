#include "app/cli_json.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <map>

#include "app/cli_progress.h"
#include "data/run_record.h"

namespace skyh::cli {
namespace {

std::string& Noted() {
  static std::string text;
  return text;
}

}  // namespace

JsonOutput::JsonOutput(const std::vector<std::string>& args)
    : on_(std::find(args.begin(), args.end(), "--json") != args.end()) {
  if (!on_) return;
  std::fflush(stdout);
  realStdout_ = dup(STDOUT_FILENO);
  if (realStdout_ >= 0) dup2(STDERR_FILENO, STDOUT_FILENO);
}

JsonOutput::~JsonOutput() {
  if (realStdout_ < 0) return;
  std::fflush(stdout);
  dup2(realStdout_, STDOUT_FILENO);
  close(realStdout_);
}

void JsonOutput::Emit(const Json& object) const {
  // Invalid UTF-8 (a file name, a box's text) is replaced, never a throw.
  const std::string line = object.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
  std::fflush(stdout);
  if (realStdout_ < 0) {
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
    return;
  }
  size_t done = 0;
  while (done < line.size()) {
    const ssize_t n = write(realStdout_, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

int JsonOutput::Finish(Json object, int exitCode) const {
  if (!on_) return exitCode;
  if (!object.contains("error"))
    object["error"] = exitCode == 0 ? Json() : Json(NotedError().empty() ? "failed (see stderr)" : NotedError());
  object["exit_code"] = exitCode;
  Emit(object);
  return exitCode;
}

void NoteError(const std::string& text) { Noted() = WithoutTrailingNewlines(text); }
const std::string& NotedError() { return Noted(); }

void ReportError(const std::string& text) {
  NoteError(text);
  std::fprintf(stderr, "%s\n", Noted().c_str());
}

Json TimeJson(int64_t time) {
  const std::string text = time > 0 ? FormatIsoUtc(time) : std::string();
  return text.empty() ? Json() : Json(text);
}

StoreSummary SummariseStore(const RecordStore& store) {
  StoreSummary s;
  // One record type may have several layouts (told apart by their content).
  std::map<std::pair<uint8_t, std::string>, int> types;
  for (int32_t i = 0; i < store.Count(); ++i) {
    const CRecord* r = store.At(i);
    ++types[{r->type(), r->IsUnknown() ? std::string() : r->name()}];
    const int64_t t = r->time();
    if (t <= 0) continue;
    if (s.first < 0 || t < s.first) s.first = t;
    if (s.last < 0 || t > s.last) s.last = t;
  }
  for (const auto& [key, count] : types) s.types.push_back({key.first, key.second, count});
  s.total = store.Count();
  s.unknown = store.UnknownCount();
  return s;
}

Json RecordsJson(const StoreSummary& summary) {
  Json byType = Json::array();
  for (const StoreSummary::Type& t : summary.types)
    byType.push_back({{"type", t.type}, {"name", t.name.empty() ? Json() : Json(t.name)}, {"count", t.count}});
  return {{"total", summary.total}, {"unknown", summary.unknown}, {"by_type", byType}};
}

}  // namespace skyh::cli
