#pragma once
// Names of output files: the configured base name with its place-holders
// filled in and the date part of the recording period appended.
#include <cstdint>
#include <string>

#include "core/time_util.h"
#include "records/settings_area.h"

namespace skyh {

enum RecordingPeriod : uint8_t {
  kPeriodNone = 0,
  kPeriodDaily = 1,
  kPeriodMonthly = 2,
  kPeriodAnnual = 3,
  kPeriodRetrievalDate = 4,
};

// The configured pattern and period of every export.
struct FileNaming {
  std::string baseName = "SP%VERS%_%HEAD%";
  uint8_t period = kPeriodNone;
};

// "%HEAD%" and "%VERS%" replaced, then the date part appended. A record time
// of -1 (no time stamp) gives a date part of zeros of the period's width.
std::string ExpandBaseName(const std::string& pattern, int64_t time, const std::string& head,
                           const VersionCode& version, uint8_t period);
// The same with the "Retrieval date" moment given, so one export takes it once.
std::string ExpandBaseNameAt(const std::string& pattern, int64_t time, const std::string& head,
                             const VersionCode& version, uint8_t period, const DateTimeFields& now);

// The example line of the configuration dialog; a period outside 0..3 means
// "Retrieval date".
std::string FormatExample(const std::string& pattern, uint8_t period);

// Characters that cannot be in a file name on this platform become "_".
std::string SafeFileNamePart(const std::string& text);

// Index of the first character of the last path component.
size_t FileNameStart(const std::string& path);

}  // namespace skyh
