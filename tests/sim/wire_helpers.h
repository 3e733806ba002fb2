#pragma once
// Frames written out by hand for the box's tests: a checksum, a request
// builder and a reply reader that share nothing with the box's own codec.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

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
  size_t i = 0;
  while (i < wire.size()) {
    if (wire[i] != 0x01) {
      ++i;
      continue;
    }
    Reply r;
    if (i + 4 > wire.size() || wire[i + 2] != 0x02) break;
    r.seq = wire[i + 1];
    r.cmd = wire[i + 3];
    size_t p = i + 4;
    Bytes covered{r.seq, r.cmd};
    while (p + 1 < wire.size() && wire[p] != 0x17) {
      int h = DigitValue(wire[p]), l = DigitValue(wire[p + 1]);
      if (h < 0 || l < 0) break;
      covered.push_back(wire[p]);
      covered.push_back(wire[p + 1]);
      r.payload.push_back(static_cast<uint8_t>(h * 16 + l));
      p += 2;
    }
    if (p + 6 > wire.size() || wire[p] != 0x17 || wire[p + 5] != 0x03) {
      out.push_back(r);
      break;
    }
    const int sum = (DigitValue(wire[p + 1]) * 16 + DigitValue(wire[p + 2])) |
                    ((DigitValue(wire[p + 3]) * 16 + DigitValue(wire[p + 4])) << 8);
    r.complete = true;
    r.checksumOk = sum == Arc16(covered);
    out.push_back(r);
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

// A record: type, length, packed time, body, FE, length.
inline Bytes Record(uint8_t type, uint32_t packed, const Bytes& body) {
  const size_t n = body.size() + 10;
  Bytes r{type, static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(packed),
          static_cast<uint8_t>(packed >> 8), static_cast<uint8_t>(packed >> 16), static_cast<uint8_t>(packed >> 24)};
  r.reserve(n);
  for (uint8_t b : body) r.push_back(b);
  r.push_back(0xFE);
  r.push_back(static_cast<uint8_t>(n));
  r.push_back(static_cast<uint8_t>(n >> 8));
  return r;
}

inline uint32_t Packed(int y, int mo, int d, int h, int mi, int s) {
  return static_cast<uint32_t>(y - 2000) << 26 | static_cast<uint32_t>(mo) << 22 | static_cast<uint32_t>(d) << 17 |
         static_cast<uint32_t>(h) << 12 | static_cast<uint32_t>(mi) << 6 | static_cast<uint32_t>(s);
}

}  // namespace skyh::sim::test
