#include "protocol/firmware_assets.h"

#include <filesystem>

#include "core/file_read.h"
#include "core/format.h"

namespace skyh {

namespace {

bool ReadExactFile(const std::filesystem::path& path, size_t expected, std::vector<uint8_t>& out,
                   std::string& error) {
  out.clear();
  std::error_code code;
  if (!std::filesystem::is_regular_file(path, code)) {
    error = Sprintf("Firmware update: \"%s\" not found (it must hold %d bytes)\n", path.string(),
                    static_cast<int>(expected));
    return false;
  }
  uintmax_t size = std::filesystem::file_size(path, code);
  if (code || size != expected) {
    error = Sprintf("Firmware update: \"%s\" has %ld bytes instead of %d\n", path.string(),
                    static_cast<long>(code ? 0 : size), static_cast<int>(expected));
    return false;
  }
  if (ReadWholeFile(path.string(), out) != FileReadStatus::kRead || out.size() != expected) {
    error = Sprintf("Firmware update: cannot read \"%s\"\n", path.string());
    out.clear();
    return false;
  }
  return true;
}

}  // namespace

bool LoadFirmwareAssets(const std::string& directory, FirmwareAssets& assets, std::string& error) {
  assets = FirmwareAssets{};
  std::filesystem::path folder(directory);
  bool ok = ReadExactFile(folder / kFirmwareKeyFileName, kFirmwareKeySize, assets.aesKey, error) &&
            ReadExactFile(folder / kApplicationModeImageFileName, kApplicationModeImageSize,
                          assets.applicationModeImage, error) &&
            ReadExactFile(folder / kBootBlockFileName, kBootBlockSize, assets.bootBlock, error);
  if (!ok) assets = FirmwareAssets{};
  return ok;
}

}  // namespace skyh
