#include "records/element.h"

#include <algorithm>
#include <array>

#include <fmt/format.h>

#include "core/format.h"
#include "records/packed_time.h"

namespace skyh {
namespace {

// Decimal counts beyond this only add zeros (or digits of a value scaled up
// far past any field); clamping keeps the text and the format buffer small.
constexpr int32_t kMaxDecimals = 20;

// Sentinel r16 values of temperatures, rain gauges and humidity; humidity
// has no empty marker.
bool ApplySentinel(uint16_t r16, bool emptyMarker, int32_t& status) {
  switch (r16) {
    case 0xFFF7:
    case 0xFFFF: status = kStatusError; return true;
    case 0xFFFC: status = kStatusUnderflow; return true;
    case 0xFFFD: status = kStatusOverflow; return true;
    case 0xFFFE:
      if (!emptyMarker) return false;
      status = kStatusEmpty;
      return true;
    default: return false;
  }
}

// 10^n (n >= 0) by repeated squaring, exact for the counts in use.
double PowerOfTen(int32_t n) {
  double result = 1.0, base = 10.0;
  for (uint32_t e = uint32_t(n); e != 0; e >>= 1) {
    if (e & 1) result *= base;
    base *= base;
  }
  return result;
}

std::string FormatValue(int32_t v, const ScnElementDef& d) {
  switch (d.format) {
    case kFormatChar: {
      char c = static_cast<char>(v & 0xFF);
      // A NUL character would end the text where printf writes it.
      return c == 0 ? std::string() : std::string(1, c);
    }
    case kFormatHex: return fmt::format("0x{:x}", static_cast<uint32_t>(v));  // "0x%lx" of the 32 bits
    default: break;
  }
  if (d.decimals == 0) return fmt::format_int(v).str();
  const int32_t decimals = std::clamp(d.decimals, -kMaxDecimals, kMaxDecimals);
  // A negative count scales the value up by that power of ten and prints no
  // decimals (a precision cannot be negative).
  if (decimals < 0) return Sprintf("%0.0lf", static_cast<double>(v) * PowerOfTen(-decimals));
  // The format "%0.<decimals>lf", built once per count.
  static const std::array<std::string, kMaxDecimals + 1> formats = [] {
    std::array<std::string, kMaxDecimals + 1> f;
    for (int32_t i = 0; i <= kMaxDecimals; ++i) f[i] = Sprintf("%%0.%dlf", i);
    return f;
  }();
  return Sprintf(formats[decimals].c_str(), static_cast<double>(v) / PowerOfTen(decimals));
}

}  // namespace

const char* StatusText(int32_t status) {
  switch (status) {
    case kStatusAbsent: return "Abs.";
    case kStatusUnderflow: return "Underflow";
    case kStatusOverflow: return "Overflow";
    case kStatusError: return "error";
    default: return "";
  }
}

std::string CElement::GetText() const { return "???"; }

bool CElement::CheckInside(size_t length) {
  if (definition_.offset >= 0 && size_t(definition_.offset) + definition_.width <= length) return true;
  status_ = kStatusError;
  return false;
}

CElementDateTime::CElementDateTime(const ScnElementDef& definition, const uint8_t* raw, size_t length)
    : CElement(definition) {
  if (!CheckInside(length)) return;
  time_ = PackedToTime(ReadLe32(raw + definition_.offset));
}

std::string CElementDateTime::GetText() const {
  if (status_ != kStatusValue) return StatusText(status_);
  std::string text = FormatDateTime(time_);
  if (definition_.suffix != 0) text += static_cast<char>(definition_.suffix);
  return text;
}

CElementMeasure::CElementMeasure(const ScnElementDef& definition, const uint8_t* raw, size_t length)
    : CElement(definition) {
  if (!CheckInside(length)) return;
  const size_t offset = static_cast<size_t>(definition_.offset);
  const uint8_t* p = raw + offset;
  const uint8_t b0 = p[0];
  // Two- and four-byte reads are only made by types that wide, which
  // CheckInside has kept inside the record.
  switch (definition_.decodeType) {
    case kValTemp: {
      uint16_t r16 = ReadLe16(p);
      if (!ApplySentinel(r16, true, status_)) value_ = int32_t(int16_t(r16)) - 400;
      break;
    }
    case kValHum: {
      // The sentinel test takes the next byte too; on the record's last byte
      // that byte is missing and counts as 0 (no sentinel).
      uint16_t r16 = static_cast<uint16_t>(b0 | ((offset + 1 < length ? p[1] : 0) << 8));
      if (!ApplySentinel(r16, false, status_)) value_ = int32_t(b0) * 5;
      break;
    }
    case kValBat:
    case kValByte:
    case kValRpt: value_ = b0; break;
    case kValPres:
    case kValWord: value_ = ReadLe16(p); break;
    case kValShort: value_ = int16_t(ReadLe16(p)); break;
    case kValDword:
    case kValLong: value_ = static_cast<int32_t>(ReadLe32(p)); break;
    case kValCn: {
      uint32_t r32 = ReadLe32(p);
      if ((r32 >> 24) != 0) {
        status_ = b0 == 0xF8 ? kStatusUnderflow : b0 == 0xF9 ? kStatusOverflow : kStatusError;
      } else {
        int32_t v = (r32 & 0x800000) ? -int32_t(r32 & 0x7FFFFF) : int32_t(r32);
        value_ = v / 4;
      }
      break;
    }
    case kValAngle: value_ = static_cast<int32_t>(ReadLe32(p) * 100u) / 320; break;
    case kValRg:
    case kValRgdev: {
      uint16_t r16 = ReadLe16(p);
      if (!ApplySentinel(r16, true, status_)) value_ = int16_t(r16);
      break;
    }
    default: break;
  }
}

int32_t CElementMeasure::Scaled() const {
  int32_t v = value_;
  if (definition_.multiplier > 0) v = static_cast<int32_t>(uint32_t(v) * uint32_t(definition_.multiplier));
  // INT32_MIN / -1 cannot happen: only positive divisors apply.
  if (definition_.divisor > 0) v /= definition_.divisor;
  return v;
}

std::string CElementMeasure::GetText() const {
  if (status_ != kStatusValue) return StatusText(status_);
  std::string text = FormatValue(Scaled(), definition_);
  if (definition_.suffix != 0) text += static_cast<char>(definition_.suffix);
  return text;
}

bool CElementMeasure::GetNumber(double& number) const {
  if (status_ != kStatusValue || definition_.format != kFormatNumber) return false;
  const int32_t decimals = std::clamp(definition_.decimals, -kMaxDecimals, kMaxDecimals);
  const double v = Scaled();
  number = decimals >= 0 ? v / PowerOfTen(decimals) : v * PowerOfTen(-decimals);
  return true;
}

std::unique_ptr<CElement> CreateElement(const ScnElementDef& definition, const uint8_t* raw, size_t length) {
  if (definition.decodeType == kValDateTime) return std::make_unique<CElementDateTime>(definition, raw, length);
  if (definition.decodeType >= kValTemp && definition.decodeType <= kValRgdev)
    return std::make_unique<CElementMeasure>(definition, raw, length);
  return std::make_unique<CElement>(definition);
}

void AppendElementText(const ScnElementDef& definition, const uint8_t* raw, size_t length, std::string& out) {
  if (definition.decodeType == kValDateTime) {
    out += CElementDateTime(definition, raw, length).GetText();
  } else if (definition.decodeType >= kValTemp && definition.decodeType <= kValRgdev) {
    out += CElementMeasure(definition, raw, length).GetText();
  } else {
    out += CElement(definition).GetText();
  }
}

bool ElementNumber(const ScnElementDef& definition, const uint8_t* raw, size_t length, double& number) {
  if (definition.decodeType < kValTemp || definition.decodeType > kValRgdev) return false;
  return CElementMeasure(definition, raw, length).GetNumber(number);
}

}  // namespace skyh
