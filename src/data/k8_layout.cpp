#include "data/k8_layout.h"

namespace skyh {

size_t ConsistentRecordLength(const uint8_t* data, size_t size, size_t offset) {
  if (offset > size || size - offset < 3) return 0;
  size_t length = RecordLengthField(data + offset + 1);
  if (length < 3 || length > size - offset) return 0;
  if (RecordLengthField(data + offset + length - 2) != length) return 0;
  return length;
}

size_t WalkK8Buffer(const uint8_t* data, size_t size,
                    const std::function<void(size_t offset, size_t length)>& visit) {
  if (size == 0 || data[0] != kHeaderType) return 0;
  size_t p = 0;
  while (size_t length = ConsistentRecordLength(data, size, p)) {
    if (visit) visit(p, length);
    p += length;
  }
  return p;
}

}  // namespace skyh
