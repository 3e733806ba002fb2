#include "data/k8_export.h"

#include "core/log_file.h"
#include "data/export_runs.h"
#include "data/k8_file.h"

namespace skyh {
namespace {

void Note(std::vector<std::string>* notices, std::string notice) {
  if (notices && !notice.empty()) notices->push_back(std::move(notice));
}

bool WriteRecordsAppending(const std::string& name, const CRecord* header, const std::vector<const CRecord*>& records,
                           std::vector<std::string>* notices) {
  std::string image;
  size_t total = header ? header->length() : 0;
  for (const CRecord* r : records) total += r->length();
  image.reserve(total);
  if (header) image.append(reinterpret_cast<const char*>(header->raw()), header->length());
  for (const CRecord* r : records) image.append(reinterpret_cast<const char*>(r->raw()), r->length());
  std::string notice;
  const bool written = WriteK8File(name, image, header ? header->length() : 0, true, &notice);
  Note(notices, std::move(notice));
  if (written) return true;
  LogLine("Can't write K8 file \"%s\"\n", name.c_str());
  return false;
}

}  // namespace

int ExportK8ByPeriod(const RecordStore& store, const std::string& folder, const FileNaming& naming,
                     std::vector<std::string>* notices) {
  if (store.Count() == 0) return 0;
  auto prepared = PrepareExportFolder(folder);
  if (!prepared) return 1;
  int result = 0;
  for (auto& file : SplitByPeriod(store, *prepared, naming)) {
    if (!WriteRecordsAppending(file.name + ".k8", store.Header(), file.records, notices)) result = 1;
  }
  return result;
}

int SaveK8Snapshot(const RecordStore& store, const std::string& folder, const std::string& baseName,
                   std::vector<std::string>* notices) {
  if (store.Count() == 0) return 0;
  auto prepared = PrepareExportFolder(folder);
  if (!prepared) return 1;
  std::string name = *prepared + ExpandBaseName(baseName, store.At(0)->time(), store.headNumber, store.versionCode,
                                                kPeriodRetrievalDate) + ".k8";
  std::string notice;
  const bool written = store.SaveToFile(name, true, &notice);
  Note(notices, std::move(notice));
  if (written) return 0;
  LogLine("Can't write K8 file \"%s\"\n", name.c_str());
  return 1;
}

}  // namespace skyh
