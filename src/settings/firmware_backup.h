#pragma once
// What every front end offers before a firmware update: the records are
// retrieved (a K8 snapshot in the files folder) and the box's settings saved
// beside them as a .set file, since an update may leave the memory in an
// unknown state.
#include <string>

#include "core/configuration.h"
#include "core/progress.h"
#include "link/link_session.h"

namespace skyh {

struct FirmwareBackupResult {
  bool ok = false;
  int records = -1;         // records retrieved; -1 when the retrieval failed
  std::string setFilePath;  // the .set file written
  // Why it failed, in the words the user sees (several lines); "" on success.
  std::string error;
};

// Runs the interactive retrieval through `session` (a lease of its own) into the files
// folder `config.outputDirectory`, then saves the settings there under the
// proposed "Settings_<IDNUM>.set" name.
FirmwareBackupResult RunFirmwareBackup(LinkSession& session, const CConfiguration& config,
                                       const std::string& iniPath, IProgressSink& progress, IStatusLine& status);

}  // namespace skyh
