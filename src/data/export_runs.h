#pragma once
// What the K8 and ASCII exports share: the folder they write into, and the
// split of a store into files by the name of each record's period.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/file_naming.h"
#include "data/record_store.h"

namespace skyh {

// "." for an empty text; creates one folder level. Gives the folder with a
// trailing separator, or nothing (after logging why) when it cannot be made.
std::optional<std::string> PrepareExportFolder(const std::string& folder);

struct ExportFile {
  std::string name;  // folder + expanded base name, without extension
  std::vector<const CRecord*> records;
};

// Consecutive records with equal names form a run; each run is taken in
// reverse store order and appended to its file's list, files in the order
// their names first appear. Writing each list once gives the same bytes as
// appending run after run. The "Retrieval date" moment is taken once.
std::vector<ExportFile> SplitByPeriod(const RecordStore& store, const std::string& folder, const FileNaming& naming);

// How many of `next` (records or lines, in the order they are to be appended)
// already end `written`: the longest run that both ends `written` and starts
// `next`. A run that wrote them and then failed elsewhere left them there.
size_t AlreadyAtEnd(const std::vector<std::string_view>& written, const std::vector<std::string_view>& next);

}  // namespace skyh
