#pragma once
// The K8 data file: the settings record followed by raw records, each
// self-delimiting by its length at the start and again at its end.
#include <cstddef>
#include <cstdint>
#include <functional>

namespace skyh {

constexpr uint8_t kHeaderType = 0x7C;  // "|"
constexpr uint8_t kEndMarker = 0xFE;   // before a record's trailing length

// Low 14 bits of the little-endian length field at p.
inline uint16_t RecordLengthField(const uint8_t* p) {
  return static_cast<uint16_t>((p[0] | (p[1] << 8)) & 0x3FFF);
}

// Length of the record at `offset` when both of its length fields agree, are
// not 0 and the record lies inside the buffer; 0 otherwise. A length below 3
// cannot hold its trailing copy apart from its start and counts as broken.
size_t ConsistentRecordLength(const uint8_t* data, size_t size, size_t offset);

// Walks a K8 buffer: visit(offset, length) for the header first, then for
// every record up to the first broken length. Nothing is visited when the
// first byte is not "|" or the header's length is broken. Returns the end of
// the last complete record (0 when there is no intact header).
size_t WalkK8Buffer(const uint8_t* data, size_t size,
                    const std::function<void(size_t offset, size_t length)>& visit);

// What lies behind `end`, the end of the last complete record.
enum class K8End {
  kClean,    // nothing
  kTorn,     // one record cut short by the end of the buffer, as a write cut off leaves it
  kDamaged,  // anything else: a broken length in the middle, or not a K8 buffer at all
};
// Torn only when the record at `end` declares a length that runs past the end
// of the buffer (or too few bytes remain to hold a length) and the buffer
// does not end like a record: a bad length with records behind it is damage.
K8End ClassifyK8End(const uint8_t* data, size_t size, size_t end);

}  // namespace skyh
