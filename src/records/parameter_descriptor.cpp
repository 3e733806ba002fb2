#include "records/parameter_descriptor.h"

namespace skyh {

int64_t FieldByteCount(const ParameterDescriptor& descriptor) {
  if (descriptor.bits <= 0 || descriptor.shift < 0) return 0;
  // 64-bit sums: the file may hold any 32-bit numbers.
  return (int64_t{descriptor.shift} + descriptor.bits + 7) / 8;
}

bool FieldFitsArea(const ParameterDescriptor& descriptor, size_t areaSize) {
  if (descriptor.offset < 0) return false;
  const int64_t count = FieldByteCount(descriptor);
  if (count <= 0) return false;
  return int64_t{descriptor.offset} + count <= static_cast<int64_t>(areaSize);
}

}  // namespace skyh
