#pragma once
// Frames written out by hand for the box's tests: a checksum, a request
// builder and a reply reader that share nothing with the box's own codec.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/record_bytes.h"

namespace skyh::sim::test {

using Bytes = std::vector<uint8_t>;

inline uint16_t Arc16(const Bytes& data) {
  uint16_t c = 0;
  for (uint8_t b : data) {
    c ^= b;
    for (int i = 0; i < 8; ++i) c = (c & 1) ? (c >> 1) ^ 0xA001 : c >> 1;
  }
  return c;
}

inline std::string Hex(const Bytes& data) {
  static const char d[] = "0123456789ABCDEF";
  std::string s;
  for (uint8_t b : data) {
    s.push_back(d[b >> 4]);
    s.push_back(d[b & 15]);
  }
  return s;
}

// SOH seq STX cmd HEX ETB crc-low crc-high ETX, checksum over seq, cmd and the digits.
inline Bytes Request(uint8_t seq, uint8_t cmd, const Bytes& payload = {}) {
  const std::string hex = Hex(payload);
  Bytes covered{seq, cmd};
  covered.insert(covered.end(), hex.begin(), hex.end());
  const uint16_t crc = Arc16(covered);
  Bytes f{0x01, seq, 0x02, cmd};
  f.insert(f.end(), hex.begin(), hex.end());
  f.push_back(0x17);
  const std::string sum = Hex({static_cast<uint8_t>(crc & 0xFF), static_cast<uint8_t>(crc >> 8)});
  f.insert(f.end(), sum.begin(), sum.end());
  f.push_back(0x03);
  return f;
}

struct Reply {
  bool complete = false;
  bool checksumOk = false;
  uint8_t seq = 0, cmd = 0;
  Bytes payload;
};

inline int DigitValue(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;  // the box sends upper case only
}

// Reads every reply frame in `wire`, in order.
inline std::vector<Reply> Replies(const Bytes& wire) {
  std::vector<Reply> out;
  auto byte = [&](size_t k) { return DigitValue(wire[k]) * 16 + DigitValue(wire[k + 1]); };
  for (size_t i = 0; i < wire.size();) {
    if (wire[i] != 0x01) {
      ++i;
      continue;
    }
    if (i + 4 > wire.size() || wire[i + 2] != 0x02) break;
    Reply r{false, false, wire[i + 1], wire[i + 3], {}};
    Bytes covered{r.seq, r.cmd};
    size_t p = i + 4;
    for (; p + 1 < wire.size() && DigitValue(wire[p]) >= 0 && DigitValue(wire[p + 1]) >= 0; p += 2) {
      covered.insert(covered.end(), {wire[p], wire[p + 1]});
      r.payload.push_back(static_cast<uint8_t>(byte(p)));
    }
    r.complete = p + 6 <= wire.size() && wire[p] == 0x17 && wire[p + 5] == 0x03;
    r.checksumOk = r.complete && (byte(p + 1) | byte(p + 3) << 8) == Arc16(covered);
    out.push_back(r);
    if (!r.complete) break;
    i = p + 6;
  }
  return out;
}

// The single reply expected in `wire`.
inline Reply OneReply(const Bytes& wire) {
  std::vector<Reply> all = Replies(wire);
  EXPECT_EQ(all.size(), 1u) << "replies on the wire";
  return all.empty() ? Reply{} : all.front();
}

// Records in the box's layout, built by the shared test helper.
inline constexpr auto* Record = &skyh::test::MakeRecordBytes;
inline constexpr auto* Packed = &skyh::test::PackDateTime;

}  // namespace skyh::sim::test
