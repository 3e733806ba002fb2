#pragma once
// The item list of a settings area from its parameter file and the shared
// description file.
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "records/settings_record_list.h"
#include "settings/settings_item_list.h"

namespace skyh {

// Null when the parameter file cannot be read, names an unknown type, or has
// a field that does not lie inside `settingsArea` (which must not be empty):
// one bad line makes the whole file unusable. A missing description file
// only leaves the descriptions empty. `why` gets the reason for null.
std::unique_ptr<CSettingsItemList> BuildSettingsItems(const std::string& parDescPath,
                                                      const std::string& parameterFilePath,
                                                      std::span<const uint8_t> settingsArea,
                                                      std::string* why = nullptr);

// The same from descriptors already read; takes them over.
std::unique_ptr<CSettingsItemList> BuildSettingsItemsFrom(CSettingsRecordList& descriptors,
                                                          std::span<const uint8_t> settingsArea,
                                                          std::string* why = nullptr);

// Gives each item the description of the first line of `parDescLines` whose
// first field is the item's key (any case).
void ApplyParameterDescriptions(const CSettingsItemList& list, const std::vector<std::string>& parDescLines);

}  // namespace skyh
