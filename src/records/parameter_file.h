#pragma once
// Parameter files ("SP..FF....par"): one "P" line per setting of a firmware's
// settings area, 13 comma-separated fields.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "records/settings_record_list.h"

namespace skyh {

// Reads the parameter file at `path`; nothing when it cannot be read.
// Lines that are not parameter lines are comments and are skipped.
std::optional<CSettingsRecordList> ReadParameterFile(const std::string& path);

// The same rules on lines already read.
CSettingsRecordList ParseParameterLines(const std::vector<std::string>& lines);

// Parses one line; nothing for a comment or a line with fewer than 13 fields.
std::optional<ParameterDescriptor> ParseParameterLine(const std::string& line);

// "SP%02XFF%02X%02X.par" from version bytes 0, 2 and 3 (record bytes 7, 9
// and 10): firmwares that differ only in version byte 1 share one file.
std::string ParameterFileName(uint8_t version0, uint8_t version2, uint8_t version3);

// The name for a settings record's bytes; empty when the record is too
// short to hold its version bytes.
std::string ParameterFileNameOfRecord(std::span<const uint8_t> record);

}  // namespace skyh
