#pragma once
// Choosing the .phx file: loading it, the fields shown for it, and the
// `update`/`filename` key that brings the choice back next time.
#include <string>

#include "protocol/phx_file.h"

namespace skyh {

class IFirmwareView;

struct FirmwareFileFields {
  std::string path;              // "" when no file is chosen
  std::string version = "--";    // "File version: "
  std::string size = "--";       // "File size: "
};

// Loads `path` into `file` and fills the fields. On success the path is
// stored in the configuration file; on failure the stored path is cleared
// and, when `view` is given, the error box is shown. Returns LoadPhxFile's
// result.
int ChooseFirmwareFile(const std::string& iniPath, const std::string& path, PhxFile& file,
                       FirmwareFileFields& fields, IFirmwareView* view);

// At start: loads the stored path again, without message boxes. An empty
// or failing path leaves the fields empty.
int RestoreFirmwareFile(const std::string& iniPath, PhxFile& file, FirmwareFileFields& fields);

}  // namespace skyh
