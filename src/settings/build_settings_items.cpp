#include "settings/build_settings_items.h"

#include "core/text_util.h"
#include "records/parameter_file.h"

namespace skyh {

void ApplyParameterDescriptions(const CSettingsItemList& list, const std::vector<std::string>& parDescLines) {
  std::vector<std::vector<std::string>> rows;
  rows.reserve(parDescLines.size());
  for (const std::string& line : parDescLines) rows.push_back(SplitFields(line, ","));
  for (const auto& item : list) {
    for (const auto& fields : rows) {
      if (fields.empty() || !EqualsNoCase(fields[0], item->key())) continue;
      // A matching line without a text leaves the description empty.
      if (fields.size() > 1) item->SetDescription(fields[1]);
      break;
    }
  }
}

std::unique_ptr<CSettingsItemList> BuildSettingsItemsFrom(CSettingsRecordList& descriptors,
                                                          std::span<const uint8_t> settingsArea) {
  if (settingsArea.empty()) return nullptr;
  auto list = std::make_unique<CSettingsItemList>();
  for (size_t i = 0; i < descriptors.Count(); ++i) {
    const ParameterDescriptor* descriptor = descriptors.At(i);
    // A file that does not match this record would read and write elsewhere.
    if (!descriptor || !FieldFitsArea(*descriptor, settingsArea.size())) return nullptr;
    std::unique_ptr<CSettingsItem> item = CreateSettingsItem(descriptors.TakeAt(i), settingsArea);
    if (!item) return nullptr;
    list->Add(std::move(item));
  }
  return list;
}

std::unique_ptr<CSettingsItemList> BuildSettingsItems(const std::string& parDescPath,
                                                      const std::string& parameterFilePath,
                                                      std::span<const uint8_t> settingsArea) {
  if (settingsArea.empty()) return nullptr;
  std::optional<CSettingsRecordList> descriptors = ReadParameterFile(parameterFilePath);
  if (!descriptors) return nullptr;
  auto list = BuildSettingsItemsFrom(*descriptors, settingsArea);
  if (!list) return nullptr;

  std::vector<std::string> parDescLines;
  if (ReadTextLines(parDescPath, parDescLines)) ApplyParameterDescriptions(*list, parDescLines);
  return list;
}

}  // namespace skyh
