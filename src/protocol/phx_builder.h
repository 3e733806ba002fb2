#pragma once
// Makes .phx files from a plain image, for tests, the demo and anyone who
// needs a firmware file of their own.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/phx_file.h"

namespace skyh {

// Encrypts `image` with the 32-byte key and the initialisation vector and
// wraps it in the .phx layout. An image whose length is not a multiple of 16
// is padded with 0xFF (erased flash). False for an empty image or a key that
// is not 32 bytes.
bool BuildPhxBytes(const std::vector<uint8_t>& image, const FirmwareVersion& version,
                   const std::vector<uint8_t>& key, const std::array<uint8_t, 16>& iv,
                   std::vector<uint8_t>& out);

// Parses "major.minor.patch" (each 0..255).
bool ParseFirmwareVersion(const std::string& text, FirmwareVersion& version);

}  // namespace skyh
