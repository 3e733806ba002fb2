#pragma once
// The data of the store benchmarks: a year of records, 1,000,000 of about
// 60 bytes, four types (one unknown), about 5% duplicates, not in time order.
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace skyh::bench {

inline constexpr int kRecords = 1000000;

inline const char kScenarios[] =
    "S:1,0x1A,SUN,Direct sun,0\n"
    "I:SP81000000-SP81FFFFFF\n"
    "E:VAL_DATE_TIME,3\n"
    "E:VAL_TEMP,7,D=1\n"
    "E:VAL_HUM,9\n"
    "E:VAL_BAT,10\n"
    "E:VAL_RPT,11\n"
    "E:VAL_CN,12,DIV=10,D=2\n"
    "E:VAL_PRES,16\n"
    "S:2,0x2B,SKY,Sky scan,0\n"
    "E:VAL_ANGLE,7,D=2\n"
    "E:VAL_ANGLE,11,D=2\n"
    "E:VAL_LONG,15\n"
    "E:VAL_WORD,19\n"
    "E:VAL_SHORT,21\n"
    "S:3,0x3C,STAT,Status,0\n"
    "C:BEQ,7,1\n"
    "E:VAL_BYTE,7\n"
    "E:VAL_DWORD,8,D=HEX\n"
    "E:VAL_TEMP,12,D=1\n";

inline std::vector<uint8_t> Record(uint8_t type, uint32_t packed, std::mt19937& random) {
  size_t length = 58 + random() % 8;
  std::vector<uint8_t> r(length);
  r[0] = type;
  r[1] = static_cast<uint8_t>(length);
  r[2] = 0;
  for (int i = 0; i < 4; ++i) r[3 + i] = static_cast<uint8_t>(packed >> (8 * i));
  for (size_t i = 7; i < length - 3; ++i) r[i] = static_cast<uint8_t>(random());
  r[11] = 4;  // repeat count of the SUN layout
  r[7] = type == 0x3C ? 1 : r[7];
  r[length - 3] = 0xFE;
  r[length - 2] = static_cast<uint8_t>(length);
  r[length - 1] = 0;
  return r;
}

// Writes the data file of a year of records, duplicates among them.
inline void MakeDataFile(const std::string& path) {
  std::mt19937 random(2014);
  std::string image;
  std::vector<uint8_t> header(60, 0x30);
  header[0] = 0x7C;
  header[1] = 60;
  header[2] = 0;
  const uint8_t version[] = {0x81, 0x00, 0x01, 0x00, 0x02, 0x0E};
  std::copy(std::begin(version), std::end(version), header.begin() + 7);
  header[57] = 0xFE;
  header[58] = 60;
  header[59] = 0;
  image.append(header.begin(), header.end());
  const uint8_t types[] = {0x1A, 0x2B, 0x3C, 0x5D};
  std::vector<size_t> starts;
  for (int i = 0; i < kRecords; ++i) {
    if (!starts.empty() && random() % 100 < 5) {
      // A record retrieved twice.
      size_t at = starts[random() % starts.size()];
      size_t length = static_cast<uint8_t>(image[at + 1]);
      image.append(image, at, length);
      continue;
    }
    int day = 1 + static_cast<int>(random() % 365);
    int month = 1, mday = day;
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    while (mday > kDays[month - 1]) mday -= kDays[month++ - 1];
    uint32_t packed = 14u << 26 | static_cast<uint32_t>(month) << 22 | static_cast<uint32_t>(mday) << 17 |
                      static_cast<uint32_t>(random() % 24) << 12 | static_cast<uint32_t>(random() % 60) << 6 |
                      static_cast<uint32_t>(random() % 60);
    auto r = Record(types[random() % 4], packed, random);
    starts.push_back(image.size());
    image.append(r.begin(), r.end());
  }
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(image.data(), 1, image.size(), f);
  std::fclose(f);
}

}  // namespace skyh::bench
