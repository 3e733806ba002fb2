#pragma once
// The demo instrument: a fictional photometer whose layouts live in demo/
// (ScnList.dat, ParDesc.dat, SPD7FF0201.par), and a generator of plausible
// memory contents for it.
#include <cstdint>
#include <string>

#include "box_memory.h"

namespace skyh::sim {

constexpr uint8_t kDemoVersionCode[4] = {0xD7, 0x00, 0x02, 0x01};  // key SPD7000201
constexpr uint8_t kDemoVersionNumber[2] = {2, 21};
constexpr size_t kDemoSettingsAreaSize = 64;

// Record types of the demo layouts.
enum DemoRecordType : uint8_t {
  kDemoSun = 0x11,
  kDemoSky = 0x12,
  kDemoMet = 0x13,
  kDemoReport = 0x14,     // byte 7: 1 status, 2 GPS fix, anything else unknown
  kDemoUnknownType = 0x3F,  // in no layout
};

struct DemoOptions {
  int64_t startUtc = 0;      // first day (rounded down to midnight UTC); 0: `days` days ending today
  int days = 3;
  int intervalMinutes = 15;
  uint64_t seed = 7;
  uint16_t instrumentNumber = 1234;
};

struct DemoSummary {
  int records = 0;
  int unknownRecords = 0;  // records meant to match no layout
};

// The demo settings record: version code, version number, 64-byte settings area.
Bytes MakeDemoSettingsRecord(uint16_t instrumentNumber, int64_t timeUtc);
// Fills `memory` with the settings record and the measurements of the days.
DemoSummary GenerateDemoMemory(const DemoOptions& options, BoxMemory& memory);

}  // namespace skyh::sim
