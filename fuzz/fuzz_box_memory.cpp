// Any file as the box's K8 memory.
#include <cstddef>
#include <cstdint>

#include "box_memory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  skyh::sim::BoxMemory m;
  std::string error;
  if (m.LoadK8Bytes(skyh::sim::Bytes(data, data + size), &error)) {
    if (m.ToK8Bytes().size() > size) __builtin_trap();
  }
  return 0;
}
