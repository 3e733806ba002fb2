#pragma once
// The encrypted firmware file (.phx): a 256-byte header with the version, the
// initialisation vector, the code encrypted with AES-256-CBC, and a CRC-32.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace skyh {

constexpr size_t kPhxHeaderSize = 256;
constexpr size_t kPhxIvOffset = 256;
constexpr size_t kPhxCodeOffset = 272;
// Header, initialisation vector and checksum around the code.
constexpr size_t kPhxOverhead = 276;

struct FirmwareVersion {
  uint8_t major = 0xFF;
  uint8_t minor = 0xFF;
  uint8_t patch = 0xFF;
  // Compared as major × 65536 + minor × 256 + patch.
  uint32_t Number() const { return major * 65536u + minor * 256u + patch; }
};

struct PhxFile {
  FirmwareVersion fileVersion;
  std::array<uint8_t, 16> fileIv{};
  std::vector<uint8_t> fileCode;  // still encrypted; its size is L
};

enum PhxLoadResult : int { kPhxLoaded = 0, kPhxCannotOpen = 1, kPhxCorrupted = 2 };

// Reads and checks a .phx file. On anything but kPhxLoaded `file` is left empty.
int LoadPhxFile(const std::string& path, PhxFile& file);
// The same checks on bytes already in memory (kPhxLoaded or kPhxCorrupted).
int ParsePhxBytes(const uint8_t* data, size_t size, PhxFile& file);

// CRC-32/ISO-HDLC (zlib's crc32).
uint32_t PhxCrc32(const uint8_t* data, size_t size);

// The texts the file fields show: "%d.%d.%d" and "%ld Kbytes".
std::string FormatFirmwareVersion(const FirmwareVersion& version);
std::string FormatPhxSize(size_t codeLength);

}  // namespace skyh
