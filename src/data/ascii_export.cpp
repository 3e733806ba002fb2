#include "data/ascii_export.h"

#include <cstdio>
#include <unordered_map>

#include "core/log_file.h"
#include "data/export_runs.h"

namespace skyh {
namespace {

struct OpenFile {
  FILE* file = nullptr;
  std::string name;
  bool failed = false;
};

template <typename Each>
bool WriteLines(const std::string& prefix, bool append, Each&& forEachRecord) {
  // The record types of one store are few: keep each type's file open.
  // Files are keyed by their final name, as two type names may map to one.
  std::unordered_map<std::string, OpenFile> files;
  std::unordered_map<std::string, OpenFile*> byType;
  forEachRecord([&](const CRecord& r) {
    OpenFile*& slot = byType[r.name()];
    if (!slot) {
      std::string name = prefix + "." + SafeFileNamePart(r.name());
      auto [it, added] = files.try_emplace(name);
      slot = &it->second;
      if (added) {
        slot->name = name;
        slot->file = std::fopen(name.c_str(), append ? "ab" : "wb");
        slot->failed = slot->file == nullptr;
      }
    }
    if (!slot->file) return;
    std::string line = r.GetText();
    line += "\r\n";
    if (std::fwrite(line.data(), 1, line.size(), slot->file) != line.size()) slot->failed = true;
  });
  bool ok = true;
  for (auto& [type, out] : files) {
    if (out.file && std::fclose(out.file) != 0) out.failed = true;
    if (out.failed) {
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
