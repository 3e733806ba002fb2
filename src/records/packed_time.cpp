#include "records/packed_time.h"

#include "core/format.h"
#include "core/time_util.h"

namespace skyh {

int64_t PackedToTime(uint32_t p) {
  return FieldsToTime(static_cast<int>(p >> 26) + 2000, static_cast<int>((p >> 22) & 15),
                      static_cast<int>((p >> 17) & 31), static_cast<int>((p >> 12) & 31),
                      static_cast<int>((p >> 6) & 63), static_cast<int>(p & 63));
}

uint32_t TimeToPacked(int64_t time) {
  DateTimeFields f;
  if (!TimeToFields(time, f) || f.year < 2000 || f.year > 2063) return 0;
  return (uint32_t(f.year - 2000) << 26) | (uint32_t(f.month) << 22) | (uint32_t(f.day) << 17) |
         (uint32_t(f.hour) << 12) | (uint32_t(f.minute) << 6) | uint32_t(f.second);
}

std::string FormatDateTime(int64_t time) {
  DateTimeFields f;
  if (!TimeToFields(time, f)) return "00/00/0000,-1:-1:-1";
  return Sprintf("%02d/%02d/%04d,%02d:%02d:%02d", f.day, f.month, f.year, f.hour, f.minute, f.second);
}

}  // namespace skyh
