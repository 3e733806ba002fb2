#include "data/file_naming.h"

#include "core/format.h"

namespace skyh {
namespace {

void ReplaceAll(std::string& text, const std::string& what, const std::string& by) {
  size_t at = text.find(what);
  while (at != std::string::npos) {
    text.replace(at, what.size(), by);
    at = text.find(what, at + by.size());
  }
}

std::string DatePart(int64_t time, uint8_t period, const DateTimeFields& now) {
  if (period == kPeriodRetrievalDate) {
    return Sprintf("%04d%02d%02d%02d%02d%02d", now.year, now.month, now.day, now.hour, now.minute, now.second);
  }
  if (period < kPeriodDaily || period > kPeriodAnnual) return "";
  DateTimeFields f;
  if (!TimeToFields(time, f)) {
    // No time stamp: a name that sorts before every dated one and is never a date.
    static const char* const kZeros[] = {"00000000", "000000", "0000"};
    return kZeros[period - kPeriodDaily];
  }
  // Record times carry the instrument's own fields (see time_util.h).
  switch (period) {
    case kPeriodDaily: return Sprintf("%04d%02d%02d", f.year, f.month, f.day);
    case kPeriodMonthly: return Sprintf("%04d%02d", f.year, f.month);
    default: return Sprintf("%04d", f.year);
  }
}

}  // namespace

std::string ExpandBaseNameAt(const std::string& pattern, int64_t time, const std::string& head,
                             const VersionCode& version, uint8_t period, const DateTimeFields& now) {
  std::string name = pattern;
  ReplaceAll(name, "%HEAD%", SafeFileNamePart(head));
  ReplaceAll(name, "%VERS%", Sprintf("%02X%02X%02X%02X", version[0], version[1], version[2], version[3]));
  if (period == kPeriodNone) return name.empty() ? "None" : name;
  return name + DatePart(time, period, now);
}

std::string ExpandBaseName(const std::string& pattern, int64_t time, const std::string& head,
                           const VersionCode& version, uint8_t period) {
  DateTimeFields now;
  if (period == kPeriodRetrievalDate) now = NowLocalFields();
  return ExpandBaseNameAt(pattern, time, head, version, period, now);
}

std::string FormatExample(const std::string& pattern, uint8_t period) {
  static const VersionCode kExampleVersion = {0x81, 0x00, 0x01, 0x00};
  if (period > kPeriodAnnual) period = kPeriodRetrievalDate;
  int64_t example = FieldsToTime(2014, 7, 1, 21, 25, 0);
  return ExpandBaseName(pattern, example, "0000", kExampleVersion, period) + ".k8";
}

std::string SafeFileNamePart(const std::string& text) {
#ifdef _WIN32
  static const char kBad[] = "/\\:*?\"<>|";
#else
  static const char kBad[] = "/";
#endif
  std::string out = text;
  for (char& c : out) {
    for (const char* b = kBad; *b; ++b) {
      if (c == *b) c = '_';
    }
  }
  return out;
}

size_t FileNameStart(const std::string& path) {
#ifdef _WIN32
  size_t slash = path.find_last_of("/\\");
#else
  size_t slash = path.rfind('/');
#endif
  return slash == std::string::npos ? 0 : slash + 1;
}

}  // namespace skyh
