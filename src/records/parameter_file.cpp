#include "records/parameter_file.h"

#include "core/format.h"
#include "core/text_util.h"

namespace skyh {

namespace {

constexpr size_t kParameterFieldCount = 13;

}  // namespace

std::optional<ParameterDescriptor> ParseParameterLine(const std::string& line) {
  std::string packed;
  packed.reserve(line.size());
  for (char c : line) {
    if (c != ' ' && c != '\t') packed.push_back(c);
  }
  if (packed.empty() || (packed[0] != 'P' && packed[0] != 'p')) return std::nullopt;
  const std::vector<std::string> fields = SplitFields(std::string_view(packed).substr(1), ",");
  if (fields.size() < kParameterFieldCount) return std::nullopt;

  ParameterDescriptor d;
  d.name = fields[0];
  d.key = fields[1];
  int32_t* numbers[] = {&d.offset, &d.bits,     &d.shift,      &d.min,     &d.max,
                        &d.default_, &d.bias, &d.multiplier, &d.divisor, &d.decimals};
  for (size_t i = 0; i < std::size(numbers); ++i) *numbers[i] = ParseNumberField(fields[2 + i]);
  d.type = fields[12][0];  // fields are never empty
  return d;
}

CSettingsRecordList ParseParameterLines(const std::vector<std::string>& lines) {
  CSettingsRecordList list;
  for (const std::string& line : lines) {
    if (auto descriptor = ParseParameterLine(line)) {
      list.Add(std::make_unique<ParameterDescriptor>(std::move(*descriptor)));
    }
  }
  return list;
}

std::optional<CSettingsRecordList> ReadParameterFile(const std::string& path) {
  std::vector<std::string> lines;
  if (!ReadTextLines(path, lines)) return std::nullopt;
  return ParseParameterLines(lines);
}

std::string ParameterFileName(uint8_t version0, uint8_t version2, uint8_t version3) {
  return Sprintf("SP%02XFF%02X%02X.par", version0, version2, version3);
}

std::string ParameterFileNameOfRecord(std::span<const uint8_t> record) {
  if (record.size() < 11) return {};
  return ParameterFileName(record[7], record[9], record[10]);
}

}  // namespace skyh
