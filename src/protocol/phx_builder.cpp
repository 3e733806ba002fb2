#include "protocol/phx_builder.h"

#include <algorithm>

#include "core/text_util.h"
#include "protocol/aes_cbc.h"

namespace skyh {

namespace {

void PutLe32(uint8_t* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

bool BuildPhxBytes(const std::vector<uint8_t>& image, const FirmwareVersion& version,
                   const std::vector<uint8_t>& key, const std::array<uint8_t, 16>& iv,
                   std::vector<uint8_t>& out) {
  out.clear();
  if (image.empty() || key.size() != kAesKeySize) return false;
  std::vector<uint8_t> plain = image;
  plain.resize((plain.size() + kAesBlockSize - 1) / kAesBlockSize * kAesBlockSize, 0xFF);
  if (plain.size() > 0xFFFFFFFFull) return false;

  std::vector<uint8_t> file(kPhxCodeOffset + plain.size() + 4, 0);
  file[0] = 0x7F;
  file[1] = 0x00;
  PutLe32(file.data() + 2, static_cast<uint32_t>(plain.size()));
  file[6] = version.major;
  file[7] = version.minor;
  file[8] = version.patch;
  std::copy(iv.begin(), iv.end(), file.begin() + kPhxIvOffset);

  AesCbc cipher;
  if (!cipher.Init(AesCbc::Direction::Encrypt, key.data(), iv.data())) return false;
  if (!cipher.Update(plain.data(), plain.size(), file.data() + kPhxCodeOffset)) return false;

  size_t crcOffset = kPhxCodeOffset + plain.size();
  PutLe32(file.data() + crcOffset, PhxCrc32(file.data(), crcOffset));
  out = std::move(file);
  return true;
}

bool ParseFirmwareVersion(const std::string& text, FirmwareVersion& version) {
  std::vector<std::string> parts = SplitFields(text, ".");
  if (parts.size() != 3 || text.front() == '.' || text.back() == '.' || text.find("..") != std::string::npos)
    return false;
  uint8_t values[3];
  for (int i = 0; i < 3; ++i) {
    const std::string& part = parts[i];
    if (part.empty() || part.size() > 3 || !std::all_of(part.begin(), part.end(), [](char c) {
          return c >= '0' && c <= '9';
        }))
      return false;
    int value = std::stoi(part);
    if (value > 255) return false;
    values[i] = static_cast<uint8_t>(value);
  }
  version = {values[0], values[1], values[2]};
  return true;
}

}  // namespace skyh
