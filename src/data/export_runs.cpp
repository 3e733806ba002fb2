#include "data/export_runs.h"

#include <algorithm>
#include <unordered_map>

#include "core/folders.h"
#include "core/log_file.h"

namespace skyh {

std::optional<std::string> PrepareExportFolder(const std::string& folder) {
  std::string name = folder.empty() ? "." : folder;
  if (!CreateFolder(name)) {
    LogLine("%s", "Can't export K8 files because \"" + name + "\" can't be created.\n");
    return std::nullopt;
  }
  return WithSlash(name);
}

std::vector<ExportFile> SplitByPeriod(const RecordStore& store, const std::string& folder, const FileNaming& naming) {
  std::vector<ExportFile> files;
  std::unordered_map<std::string, size_t> index;
  DateTimeFields now;
  if (naming.period == kPeriodRetrievalDate) now = NowLocalFields();

  // Names change with the day at most, so one name per day is enough.
  auto dayOf = [](int64_t t) { return t < 0 ? INT64_MIN : t / 86400; };
  int64_t lastDay = 0;
  std::string lastName;
  bool haveName = false;
  auto nameOf = [&](const CRecord& r) -> const std::string& {
    int64_t day = dayOf(r.time());
    if (!haveName || day != lastDay) {
      lastName = folder + ExpandBaseNameAt(naming.baseName, r.time(), store.headNumber, store.versionCode,
                                           naming.period, now);
      lastDay = day;
      haveName = true;
    }
    return lastName;
  };

  int32_t n = store.Count();
  int32_t runStart = 0;
  while (runStart < n) {
    std::string name = nameOf(*store.At(runStart));
    int32_t runEnd = runStart + 1;
    while (runEnd < n && nameOf(*store.At(runEnd)) == name) ++runEnd;
    auto [it, added] = index.emplace(name, files.size());
    if (added) files.push_back(ExportFile{name, {}});
    auto& list = files[it->second].records;
    for (int32_t i = runEnd - 1; i >= runStart; --i) list.push_back(store.At(i));
    runStart = runEnd;
  }
  return files;
}

size_t AlreadyAtEnd(const std::vector<std::string_view>& written, const std::vector<std::string_view>& next) {
  const size_t most = std::min(written.size(), next.size());
  for (size_t k = most; k > 0; --k) {
    if (next[k - 1] != written.back()) continue;
    if (std::equal(next.begin(), next.begin() + static_cast<std::ptrdiff_t>(k),
                   written.end() - static_cast<std::ptrdiff_t>(k)))
      return k;
  }
  return 0;
}

}  // namespace skyh
