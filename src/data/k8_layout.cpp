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

K8End ClassifyK8End(const uint8_t* data, size_t size, size_t end) {
  if (end >= size) return K8End::kClean;
  if (data[0] != kHeaderType) return K8End::kDamaged;
  const size_t remaining = size - end;
  if (remaining < 3) return K8End::kTorn;
  const size_t declared = RecordLengthField(data + end + 1);
  // A length that fits but whose copy at the end differs is no torn write.
  if (declared < 3 || declared <= remaining) return K8End::kDamaged;
  // The last bytes look like a record's end (marker, then a length that
  // starts inside the rest): complete records follow the bad length.
  const size_t lastLength = RecordLengthField(data + size - 2);
  if (data[size - 3] == kEndMarker && lastLength >= 3 && lastLength <= remaining) return K8End::kDamaged;
  return K8End::kTorn;
}

}  // namespace skyh
