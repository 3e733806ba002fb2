#include "demo_instrument.h"

#include <cmath>
#include <cstring>

#include "core/time_util.h"
#include "fault_random.h"

namespace skyh::sim {
namespace {

constexpr double kPi = 3.14159265358979323846;

void Put16(Bytes& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void Push16(Bytes& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void Push32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Sign and magnitude in 24 bits, four counts per unit.
uint32_t ChannelCounts(double value) {
  const uint32_t magnitude = static_cast<uint32_t>(std::fabs(value) * 4) & 0x7FFFFF;
  return value < 0 ? (magnitude | 0x800000) : magnitude;
}

// Sun elevation in degrees for an hour of the UTC day: up at 6, down at 18.
double SunElevation(double hour, int dayIndex) {
  if (hour <= 6 || hour >= 18) return -10;
  return (55 + 3 * std::sin(dayIndex)) * std::sin(kPi * (hour - 6) / 12);
}

Bytes SunBody(double hour, int day, int count, FaultRandom& rnd) {
  const double elevation = SunElevation(hour, day);
  Bytes b;
  Push32(b, static_cast<uint32_t>((90 - elevation) * 320));
  Push32(b, static_cast<uint32_t>((90 + 180 * (hour - 6) / 12) * 320));
  const double sensor = 20 + 12 * std::sin(kPi * (hour - 6) / 12) + rnd.Unit() * 0.3;
  // Now and then the sensor is not read: the blank value.
  Push16(b, count % 17 == 5 ? 0xFFFE : static_cast<uint16_t>(sensor * 10 + 400));
  const int channels = 8;
  b.push_back(channels);
  static const double kScale[channels] = {410000, 520000, 640000, 720000, 800000, 690000, 560000, 300000};
  for (int ch = 0; ch < channels; ++ch) {
    if (ch == 2 && elevation > 52) {
      Push32(b, 0x010000F9);  // saturated near noon
      continue;
    }
    const double airmass = 1 / std::max(0.05, std::sin(elevation * kPi / 180));
    const double signal = kScale[ch] * std::exp(-0.12 * (ch + 1) / 4.0 * airmass) + rnd.Unit() * 40;
    Push32(b, ChannelCounts(signal));
  }
  b.push_back(static_cast<uint8_t>(126 - 3 * std::cos(kPi * hour / 12)));
  return b;
}

Bytes SkyBody(double hour, int day, int count) {
  const double elevation = SunElevation(hour, day);
  Bytes b;
  b.push_back(static_cast<uint8_t>('A' + count % 4));
  const int points = 12;
  b.push_back(points);
  for (int i = 0; i < points; ++i) {
    if (i == 0 && elevation > 50) {
      Push16(b, 0xFFFD);  // next to the sun
    } else if (i == points - 1 && count % 5 == 2) {
      Push16(b, 0xFFFC);
    } else {
      Push16(b, static_cast<uint16_t>(static_cast<int16_t>(3000 / (1 + i * 0.6) + elevation * 8)));
    }
  }
  Push16(b, count % 9 == 4 ? 0xFFF7 : static_cast<uint16_t>(static_cast<int16_t>(35 + 10 * std::sin(hour))));
  return b;
}

Bytes MetBody(double hour, int day, FaultRandom& rnd) {
  Bytes b;
  const double air = 12 + 8 * std::sin(2 * kPi * (hour - 9) / 24) + 2 * std::sin(day) + rnd.Unit() * 0.2;
  Push16(b, static_cast<uint16_t>(air * 10 + 400));
  const double humidity = 60 - 20 * std::sin(2 * kPi * (hour - 9) / 24);
  b.push_back(static_cast<uint8_t>(humidity * 10 / 5));
  Push16(b, static_cast<uint16_t>((1013 + 4 * std::sin(day + hour / 24)) * 10));
  b.push_back(static_cast<uint8_t>(126 - 3 * std::cos(kPi * hour / 12)));
  Push16(b, static_cast<uint16_t>(static_cast<int16_t>(std::max(0.0, SunElevation(hour, day)) * 12 - 20)));
  return b;
}

Bytes StatusBody(int64_t t, int64_t start, uint32_t lastSync, int count) {
  Bytes b;
  b.push_back(1);
  Push16(b, count % 3 == 1 ? 0x0104 : 0x0000);
  Push32(b, static_cast<uint32_t>(t - start + 3600));
  Push32(b, static_cast<uint32_t>(-1200 + count * 37));
  Push32(b, lastSync);
  b.push_back(static_cast<uint8_t>(90 - count % 40));
  return b;
}

Bytes GpsBody(int day) {
  Bytes b;
  b.push_back(2);
  Push32(b, static_cast<uint32_t>(4356123 + day * 3));
  Push32(b, static_cast<uint32_t>(147890 - day * 2));
  Push16(b, static_cast<uint16_t>(1520 + day % 3));
  b.push_back(static_cast<uint8_t>(7 + day % 4));
  return b;
}

}  // namespace

Bytes MakeDemoSettingsRecord(uint16_t instrumentNumber, int64_t timeUtc) {
  Bytes body(6 + kDemoSettingsAreaSize, 0);
  std::memcpy(body.data(), kDemoVersionCode, 4);
  std::memcpy(body.data() + 4, kDemoVersionNumber, 2);
  Bytes area(kDemoSettingsAreaSize, 0);
  Put16(area, 0, instrumentNumber);
  Put32(area, 2, static_cast<uint32_t>(4356123));   // 43.56123 N
  Put32(area, 6, static_cast<uint32_t>(147890));    // 1.47890 E
  Put16(area, 10, 1520);
  const char site[] = "Demo Hill";
  std::memcpy(area.data() + 12, site, sizeof site - 1);
  std::memset(area.data() + 28, 0xFF, 7);           // password kept by the box
  Put32(area, 36, 0x1A2B3C4D);
  area[40] = 0x03;                                  // auto start, GPS on, heater off
  area[41] = 0x24;                                  // filter set 2, gain 4
  Put16(area, 42, static_cast<uint16_t>(-15));      // -1.5 degrees
  Put16(area, 44, 15);
  area[46] = 12;                                    // time zone 0
  area[47] = 6;                                     // 60 s
  Put16(area, 48, 0x00FF);
  const char oper[] = "Sky Demo";
  std::memcpy(area.data() + 50, oper, sizeof oper - 1);
  std::copy(area.begin(), area.end(), body.begin() + 6);
  return MakeRecord(kSettingsRecordType, PackTime(timeUtc), body);
}

DemoSummary GenerateDemoMemory(const DemoOptions& o, BoxMemory& memory) {
  const int days = std::max(1, o.days);
  const int interval = std::max(1, o.intervalMinutes);
  int64_t start = o.startUtc;
  if (start <= 0) start = NowUtc() - static_cast<int64_t>(days - 1) * 86400;
  start -= start % 86400;
  const int64_t now = NowUtc();
  FaultRandom rnd(o.seed);
  DemoSummary summary;
  memory.Clear();
  memory.SetSettings(MakeDemoSettingsRecord(o.instrumentNumber, start));
  int sunCount = 0, skyCount = 0, statusCount = 0;
  uint32_t lastSync = PackTime(start);
  auto add = [&](uint8_t type, int64_t t, Bytes body, bool unknown) {
    memory.Append(MakeRecord(type, PackTime(t), body));
    ++summary.records;
    if (unknown) ++summary.unknownRecords;
  };
  for (int day = 0; day < days; ++day) {
    const int64_t dayStart = start + static_cast<int64_t>(day) * 86400;
    add(kDemoReport, dayStart + 30, GpsBody(day), false);
    for (int minute = 0; minute < 24 * 60; minute += interval) {
      const int64_t t = dayStart + minute * 60;
      if (o.startUtc <= 0 && t > now) break;  // nothing from the future
      const double hour = minute / 60.0;
      add(kDemoMet, t, MetBody(hour, day, rnd), false);
      if (SunElevation(hour, day) > 0) {
        add(kDemoSun, t + 5, SunBody(hour, day, sunCount++, rnd), false);
        if ((minute / interval) % 4 == 0) add(kDemoSky, t + 20, SkyBody(hour, day, skyCount++), false);
      }
      if (minute % 360 == 0) {
        if (minute == 0) lastSync = PackTime(t);
        add(kDemoReport, t + 10, StatusBody(t, start, lastSync, statusCount++), false);
      }
      if (minute == 12 * 60) {
        // A record of a type no layout knows, and a report of an unknown kind.
        add(kDemoUnknownType, t + 40, Bytes{0x42, 0x00, static_cast<uint8_t>(day)}, true);
        if (day % 2 == 1) add(kDemoReport, t + 45, Bytes{9, 0x55, 0xAA, 0x01}, true);
      }
    }
  }
  memory.SortByTime();
  return summary;
}

}  // namespace skyh::sim
