#pragma once
// The maker's AES key and the two built-in code images the update needs.
// They belong to the instrument's maker, so SkyHarvester does not carry them:
// it reads them from files in the configuration directory.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace skyh {

constexpr const char* kFirmwareKeyFileName = "firmware_key.bin";
constexpr const char* kApplicationModeImageFileName = "firmware_application_mode.bin";
constexpr const char* kBootBlockFileName = "firmware_boot_block.bin";

constexpr size_t kFirmwareKeySize = 32;
constexpr size_t kApplicationModeImageSize = 46320;
constexpr size_t kBootBlockSize = 4096;

struct FirmwareAssets {
  std::vector<uint8_t> aesKey;                 // 32 bytes
  std::vector<uint8_t> applicationModeImage;   // 46320 bytes, plain
  std::vector<uint8_t> bootBlock;              // 4096 bytes, plain
};

// Reads the three files from `directory` (a trailing separator is optional).
// False with a message naming the first missing or wrongly sized file.
bool LoadFirmwareAssets(const std::string& directory, FirmwareAssets& assets, std::string& error);

}  // namespace skyh
