#include "protocol/firmware_file_choice.h"

#include <filesystem>
#include <system_error>

#include "core/format.h"
#include "core/ini_file.h"
#include "protocol/firmware_update.h"

namespace skyh {

namespace {

constexpr const char* kSection = "update";
constexpr const char* kKey = "filename";

void ShowFile(const std::string& path, const PhxFile& file, FirmwareFileFields& fields) {
  fields.path = path;
  fields.version = FormatFirmwareVersion(file.fileVersion);
  fields.size = FormatPhxSize(file.fileCode.size());
}

}  // namespace

int ChooseFirmwareFile(const std::string& iniPath, const std::string& path, PhxFile& file,
                       FirmwareFileFields& fields, IFirmwareView* view) {
  fields = FirmwareFileFields{};
  CIniFile ini(iniPath, false);
  int result = LoadPhxFile(path, file);
  if (result == kPhxLoaded) {
    ShowFile(path, file, fields);
    // Read back from wherever the next run starts.
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    ini.WriteString(kSection, kKey, error ? path : absolute.lexically_normal().string());
    return result;
  }
  ini.WriteString(kSection, kKey, "");
  if (view) {
    std::string text = result == kPhxCannotOpen ? Sprintf("Open \"%s\" file error\n", path)
                                                : Sprintf("\"%s\" file is corrupted\n", path);
    view->ShowBox("Error", MessageKind::Error, text);
  }
  return result;
}

int RestoreFirmwareFile(const std::string& iniPath, PhxFile& file, FirmwareFileFields& fields) {
  fields = FirmwareFileFields{};
  file = PhxFile{};
  std::string path = CIniFile(iniPath, false).GetString(kSection, kKey, "");
  if (path.empty()) return kPhxCannotOpen;
  int result = LoadPhxFile(path, file);
  if (result != kPhxLoaded) return result;
  ShowFile(path, file, fields);
  return result;
}

}  // namespace skyh
