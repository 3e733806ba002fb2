#include "settings/firmware_backup.h"

#include <span>

#include "core/folders.h"
#include "core/format.h"
#include "data/record_store.h"
#include "data/retrieval_workers.h"
#include "records/settings_area.h"
#include "settings/build_settings_items.h"
#include "settings/instrument_info.h"
#include "settings/set_file.h"

namespace skyh {

FirmwareBackupResult RunFirmwareBackup(LinkSession& session, const CConfiguration& config,
                                       const std::string& iniPath, IProgressSink& progress, IStatusLine& status) {
  FirmwareBackupResult out;
  RecordStore store;
  RetrievalWorkerEnv env{session, config, iniPath, progress, status, 1000, SetHeadNumberFromSettings};
  WorkerResult result = RunInteractiveRetrieval(env);
  TakeRetrievedStore(result.outcome, store);
  if (result.status != RetrievalStatus::kFinished || !result.filesWritten) {
    out.error = Sprintf("Backup failed (%s): the update does not start.\n", result.text);
    return out;
  }
  out.records = store.Count();
  const CRecord* header = store.Header();
  const std::string dir = WithSlash(config.configurationDirectory);
  auto items = header ? BuildSettingsItems(dir + "ParDesc.dat", dir + store.parameterFileName,
                                           SettingsAreaOf(std::span<const uint8_t>(header->raw(), header->length())))
                      : nullptr;
  if (!items) {
    out.error = Sprintf("Can't load \"%s\" file\nor the file is invalid.\nBackup failed: the update does not start.\n",
                        store.parameterFileName);
    return out;
  }
  const std::string path = config.outputDirectory + ProposedSetFileName(*items);
  if (!SaveSetFile(path, *items)) {
    out.error = Sprintf("Can't write %s\nBackup failed: the update does not start.\n", path);
    return out;
  }
  out.setFilePath = path;
  out.ok = true;
  return out;
}

}  // namespace skyh
