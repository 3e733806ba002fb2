// Any bytes as a .phx file: loading must refuse or accept, never read outside.
#include <cstddef>
#include <cstdint>

#include "protocol/phx_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  skyh::PhxFile file;
  if (skyh::ParsePhxBytes(data, size, file) == skyh::kPhxLoaded) {
    // A loaded file's code is exactly what its length field said.
    if (file.fileCode.size() + skyh::kPhxOverhead != size) __builtin_trap();
    skyh::FormatFirmwareVersion(file.fileVersion);
    skyh::FormatPhxSize(file.fileCode.size());
  }
  return 0;
}
