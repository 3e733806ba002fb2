#pragma once
// K8 exchange files: the store split by recording period, appended to the
// files already in the folder.
#include <string>
#include <vector>

#include "data/file_naming.h"
#include "data/record_store.h"

namespace skyh {

// 0 when every file was written (or the store is empty), 1 when the folder
// cannot be created or a file could not be written (each failure is logged).
// A damaged file met on the way is moved aside and started afresh (see
// WriteK8File); what was done is added to `notices`.
int ExportK8ByPeriod(const RecordStore& store, const std::string& folder, const FileNaming& naming,
                     std::vector<std::string>* notices = nullptr);

// The whole store, in store order, into one file named by the moment of the
// call; same results.
int SaveK8Snapshot(const RecordStore& store, const std::string& folder, const std::string& baseName,
                   std::vector<std::string>* notices = nullptr);

}  // namespace skyh
