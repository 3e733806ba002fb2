#include "settings/build_settings_items.h"

#include "core/file_read.h"
#include "core/format.h"
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
                                                          std::span<const uint8_t> settingsArea, std::string* why) {
  auto fail = [why](const std::string& reason) -> std::unique_ptr<CSettingsItemList> {
    if (why) *why = reason;
    return nullptr;
  };
  if (settingsArea.empty()) return fail("the settings record has no settings area");
  auto list = std::make_unique<CSettingsItemList>();
  for (size_t i = 0; i < descriptors.Count(); ++i) {
    const ParameterDescriptor* descriptor = descriptors.At(i);
    if (!descriptor) return fail("a parameter line could not be kept");
    // A file that does not match this record would read and write elsewhere.
    if (!FieldFitsArea(*descriptor, settingsArea.size()))
      return fail(Sprintf("parameter \"%s\" (offset %d, %d bits) lies outside the settings area (%d bytes)",
                          descriptor->name, descriptor->offset, descriptor->bits,
                          static_cast<int>(settingsArea.size())));
    const std::string name = descriptor->name;
    const char type = descriptor->type;
    std::unique_ptr<CSettingsItem> item = CreateSettingsItem(descriptors.TakeAt(i), settingsArea);
    if (!item) return fail(Sprintf("parameter \"%s\" has the unknown type \"%c\"", name, type));
    list->Add(std::move(item));
  }
  return list;
}

std::unique_ptr<CSettingsItemList> BuildSettingsItems(const std::string& parDescPath,
                                                      const std::string& parameterFilePath,
                                                      std::span<const uint8_t> settingsArea, std::string* why) {
  if (settingsArea.empty()) {
    if (why) *why = "the settings record has no settings area";
    return nullptr;
  }
  std::string text, reason;
  const FileReadStatus status = ReadWholeFile(parameterFilePath, text, &reason);
  if (status != FileReadStatus::kRead) {
    if (why)
      *why = status == FileReadStatus::kMissing ? "no parameter file \"" + parameterFilePath + "\""
                                                : FileReadErrorText(parameterFilePath, reason);
    return nullptr;
  }
  CSettingsRecordList descriptors = ParseParameterLines(SplitTextLines(text));
  auto list = BuildSettingsItemsFrom(descriptors, settingsArea, why);
  if (!list) return nullptr;

  std::vector<std::string> parDescLines;
  if (ReadTextLines(parDescPath, parDescLines)) ApplyParameterDescriptions(*list, parDescLines);
  return list;
}

}  // namespace skyh
