#include "data/ascii_export.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "core/log_file.h"
#include "data/export_runs.h"

namespace skyh {
namespace {

// The lines of text that ends in a line feed, without their CR LF or LF.
std::vector<std::string> LinesOf(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t lf = text.find('\n'); lf != std::string_view::npos; lf = text.find('\n', start)) {
    std::string_view line = text.substr(start, lf - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    start = lf + 1;
  }
  return lines;
}

struct FileLines {
  std::string name;
  std::vector<std::string> lines;  // without their line ends
};

// Before appending: a last line without its line end (a write cut short) is
// cut off, and `last` receives the file's last lines, as many as fit in
// `window` bytes. A file that cannot be read has nothing to repair.
bool PrepareAppend(const std::string& name, size_t window, std::vector<std::string>& last) {
  last.clear();
  std::error_code error;
  const auto status = std::filesystem::status(name, error);
  if (!std::filesystem::exists(status)) return true;
  if (!std::filesystem::is_regular_file(status)) return false;  // a folder or a pipe is no file to append to
  FILE* file = std::fopen(name.c_str(), "rb");
  if (!file) return true;
  bool ok = std::fseek(file, 0, SEEK_END) == 0;
  const long size = ok ? std::ftell(file) : -1;
  ok = size >= 0;
  // Back from the end in blocks to the last line feed.
  size_t end = ok ? static_cast<size_t>(size) : 0;
  char block[4096];
  while (ok && end > 0) {
    const size_t start = end > sizeof block ? end - sizeof block : 0;
    const size_t n = end - start;
    ok = std::fseek(file, static_cast<long>(start), SEEK_SET) == 0 && std::fread(block, 1, n, file) == n;
    if (!ok) break;
    const void* lf = memrchr(block, '\n', n);
    if (lf) {
      end = start + static_cast<size_t>(static_cast<const char*>(lf) - block) + 1;
      break;
    }
    end = start;
  }
  std::string tail;
  if (ok && end > 0) {
    // One byte more than the window shows where the first whole line starts.
    const size_t from = end > window + 1 ? end - window - 1 : 0;
    tail.resize(end - from);
    ok = std::fseek(file, static_cast<long>(from), SEEK_SET) == 0 &&
         std::fread(tail.data(), 1, tail.size(), file) == tail.size();
    if (ok) {
      std::vector<std::string> lines = LinesOf(tail);
      if (from > 0 && !lines.empty()) lines.erase(lines.begin());  // may have started mid-line
      last = std::move(lines);
    }
  }
  (void)std::fclose(file);  // only read
  if (!ok) return false;
  if (end < static_cast<size_t>(size)) {
    LogLine("\"%s\" ended in an incomplete line; cut back from %ld to %zu bytes\n", name.c_str(), size, end);
    std::filesystem::resize_file(name, end, error);
    if (error) return false;
  }
  return true;
}

bool WriteFileLines(const FileLines& out, bool append) {
  size_t from = 0;
  if (append) {
    size_t window = 0;
    for (const std::string& line : out.lines) window += line.size() + 2;
    std::vector<std::string> last;
    if (!PrepareAppend(out.name, window, last)) return false;
    // Lines a run that failed afterwards already wrote are not written twice.
    from = AlreadyAtEnd(std::vector<std::string_view>(last.begin(), last.end()),
                        std::vector<std::string_view>(out.lines.begin(), out.lines.end()));
    if (from > 0) LogLine("%zu lines already end \"%s\"; they are not appended again\n", from, out.name.c_str());
    if (from == out.lines.size()) return true;
  }
  FILE* file = std::fopen(out.name.c_str(), append ? "ab" : "wb");
  if (!file) return false;
  bool ok = true;
  for (size_t i = from; i < out.lines.size() && ok; ++i) {
    const std::string& line = out.lines[i];
    ok = std::fwrite(line.data(), 1, line.size(), file) == line.size() && std::fwrite("\r\n", 1, 2, file) == 2;
  }
  if (std::fclose(file) != 0) ok = false;
  return ok;
}

template <typename Each>
bool WriteLines(const std::string& prefix, bool append, Each&& forEachRecord) {
  // Files are keyed by their final name, as two type names may map to one;
  // the record types of one store are few.
  std::vector<FileLines> files;
  std::unordered_map<std::string, size_t> byName;
  std::unordered_map<std::string, size_t> byType;
  forEachRecord([&](const CRecord& r) {
    auto type = byType.find(r.name());
    if (type == byType.end()) {
      std::string name = prefix + "." + SafeFileNamePart(r.name());
      auto [it, added] = byName.try_emplace(name, files.size());
      if (added) files.push_back(FileLines{std::move(name), {}});
      type = byType.emplace(r.name(), it->second).first;
    }
    files[type->second].lines.push_back(r.GetText());
  });
  bool ok = true;
  for (const FileLines& out : files) {
    if (!WriteFileLines(out, append)) {
      LogLine("Can't write ASCII file \"%s\"\n", out.name.c_str());
      ok = false;
    }
  }
  return ok;
}

}  // namespace

bool WriteAsciiFiles(const RecordStore& store, const std::string& prefix, bool append) {
  return WriteLines(prefix, append, [&](auto&& write) {
    for (int32_t i = 0; i < store.Count(); ++i) write(*store.At(i));
  });
}

bool WriteAsciiFiles(const std::vector<const CRecord*>& records, const std::string& prefix, bool append) {
  return WriteLines(prefix, append, [&](auto&& write) {
    for (const CRecord* r : records) write(*r);
  });
}

int ExportAsciiByPeriod(const RecordStore& store, const std::string& folder, const FileNaming& naming) {
  if (store.Count() == 0) return 0;
  auto prepared = PrepareExportFolder(folder);
  if (!prepared) return 1;
  int result = 0;
  for (auto& file : SplitByPeriod(store, *prepared, naming)) {
    if (!WriteAsciiFiles(file.records, file.name, true)) result = 1;
  }
  return result;
}

std::string AsciiPrefixOf(const std::string& dataFilePath) {
  size_t dot = dataFilePath.rfind('.');
  if (dot == std::string::npos || dot < FileNameStart(dataFilePath)) return dataFilePath;
  return dataFilePath.substr(0, dot);
}

int GenerateAscii(const RecordStore& store, const FileNaming& naming) {
  if (store.Count() == 0) return 0;
  std::string prefix;
  if (!store.path.empty()) {
    prefix = AsciiPrefixOf(store.path);
  } else {
    // The local moment stands in for a record time, whose fields are taken as they are.
    int64_t now = FieldsToTime(NowLocalFields());
    prefix = ExpandBaseName(naming.baseName, now, store.headNumber, store.versionCode, naming.period);
  }
  return WriteAsciiFiles(store, prefix, false) ? 0 : 1;
}

}  // namespace skyh
