#pragma once
// The configuration record and its load from and save to "SkyHarvester.ini".
#include <cstdint>
#include <string>

namespace skyh {

enum LinkType : uint8_t { kLinkUsb = 0, kLinkSerial = 1, kLinkModem = 2 };

struct CConfiguration {
  std::string configurationDirectory;   // general/configuration
  int32_t automaticEnabled = 0;         // automatic/enable
  uint8_t retrievalPeriod = 0;          // automatic/period, 0..7
  uint8_t periodDays = 1;               // automatic/day, 1..10
  std::string outputDirectory;          // automatic/ascii_path
  uint8_t filesPeriod = 0;              // automatic/RecPeriod, 0..4
  uint8_t startHour = 9;                // automatic/start (seconds since midnight)
  uint8_t startMinute = 0;
  uint8_t startSecond = 0;
  int32_t createK8 = 1;                 // automatic/k8
  int32_t createAscii = 1;              // automatic/ascii
  std::string baseName = "SP%VERS%_%HEAD%";  // automatic/basename
  uint8_t linkType = kLinkUsb;          // communication/type
  std::string port;                     // communication/port
  std::string phoneNumber;              // communication/phone_number
  int32_t logEnabled = 0;               // communication/log
  int32_t retrieveMissing = 1;          // communication/retrieve_missing
  int32_t retrieveLimited = 1;          // communication/retrieve_limited
  int32_t retrieveMaxDays = 1;          // communication/retrieve_max_days, 1..30
  int32_t retryCount = 5;               // communication/retry, 1..5
  int32_t autoSetTime = 0;              // communication/AutoSetTime
  int32_t autoSetTimeMax = 10;          // communication/AutoSetTimeMax
  int32_t autoSetTimeNeedsSync = 0;     // communication/AutoSetTimeNeedsSync
  int32_t viewUnknown = 0;              // communication/ViewUnknown

  int32_t StartSeconds() const { return startHour * 3600 + startMinute * 60 + startSecond; }
  void SetStartSeconds(int32_t value);

  bool operator==(const CConfiguration&) const = default;
};

// The two debug switches: read at start, never written.
struct DebugSettings {
  bool expert = false;
  bool disableCloseButton = false;
};

// Period and files-period names, for texts.
const char* RetrievalPeriodName(int period);  // "1 Hour" .. "Days"

void LoadConfiguration(const std::string& iniPath, CConfiguration& config, DebugSettings* debug = nullptr);
void SaveConfiguration(const std::string& iniPath, const CConfiguration& config);

}  // namespace skyh
