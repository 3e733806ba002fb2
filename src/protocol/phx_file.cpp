#include "protocol/phx_file.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <filesystem>


#include "core/file_read.h"
#include "core/format.h"
#include "protocol/aes_cbc.h"

namespace skyh {

namespace {

constexpr uint64_t kPhxMaxFileSize = 0xFFFFFFFFull + kPhxOverhead;

uint32_t ReadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

uint32_t PhxCrc32(const uint8_t* data, size_t size) {
  uLong crc = crc32(0L, Z_NULL, 0);
  // zlib takes a 32-bit length per call.
  while (size > 0) {
    uInt piece = static_cast<uInt>(std::min<size_t>(size, UINT_MAX));
    crc = crc32(crc, data, piece);
    data += piece;
    size -= piece;
  }
  return static_cast<uint32_t>(crc);
}

int ParsePhxBytes(const uint8_t* data, size_t size, PhxFile& file) {
  file = PhxFile{};
  if (!data || size < kPhxOverhead) return kPhxCorrupted;
  if (data[0] != 0x7F || data[1] != 0x00) return kPhxCorrupted;
  // The length field must describe exactly this file. Compared in 64 bits so
  // that a length near 2^32 cannot wrap round to a small file size.
  uint64_t length = ReadLe32(data + 2);
  if (length + kPhxOverhead != static_cast<uint64_t>(size)) return kPhxCorrupted;
  // No code, or a piece the cipher cannot decrypt, is no firmware.
  if (length == 0 || length % kAesBlockSize != 0) return kPhxCorrupted;

  size_t crcOffset = kPhxCodeOffset + static_cast<size_t>(length);
  if (PhxCrc32(data, crcOffset) != ReadLe32(data + crcOffset)) return kPhxCorrupted;

  file.fileVersion = {data[6], data[7], data[8]};
  std::copy_n(data + kPhxIvOffset, file.fileIv.size(), file.fileIv.begin());
  file.fileCode.assign(data + kPhxCodeOffset, data + crcOffset);
  return kPhxLoaded;
}

int LoadPhxFile(const std::string& path, PhxFile& file) {
  file = PhxFile{};
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return kPhxCannotOpen;
  // Too large to hold what its length field can describe: not read at all.
  const uintmax_t size = std::filesystem::file_size(path, error);
  if (!error && size > kPhxMaxFileSize) return kPhxCorrupted;
  std::vector<uint8_t> bytes;
  if (ReadWholeFile(path, bytes) != FileReadStatus::kRead) return kPhxCannotOpen;
  if (bytes.size() < kPhxHeaderSize || bytes.size() > kPhxMaxFileSize) return kPhxCorrupted;
  return ParsePhxBytes(bytes.data(), bytes.size(), file);
}

std::string FormatFirmwareVersion(const FirmwareVersion& version) {
  return Sprintf("%d.%d.%d", version.major, version.minor, version.patch);
}

std::string FormatPhxSize(size_t codeLength) {
  return Sprintf("%ld Kbytes", static_cast<long>(codeLength / 1024));
}

}  // namespace skyh
