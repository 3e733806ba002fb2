#include "settings/set_file.h"

#include <algorithm>

#include "core/file_read.h"
#include "core/ini_file.h"
#include "core/text_util.h"

namespace skyh {

namespace {
constexpr const char* kSection = "Settings";
}

std::string ProposedSetFileName(const CSettingsItemList& items) {
  const CSettingsItem* item = FindItemByKey(items, "IDNUM");
  if (!item) return "Settings.set";
  std::string number = item->GetValueText();
  if (number.size() < 4) number.insert(0, 4 - number.size(), '0');
  return "Settings_" + number + ".set";
}

bool SaveSetFile(const std::string& path, const CSettingsItemList& items) {
  std::vector<IniEntry> entries;
  for (const auto& item : items) {
    if (!item->name().empty()) entries.push_back({kSection, item->name(), item->GetValueText()});
  }
  return CIniFile(path, false).WriteStrings(entries);
}

bool LoadSetFile(const std::string& path, CSettingsItemList& items, SetFileLoadReport* report) {
  SetFileLoadReport local;
  SetFileLoadReport& out = report ? *report : local;
  out = SetFileLoadReport{};
  std::string text;
  if (ReadWholeFile(path, text, &out.error) != FileReadStatus::kRead) return false;
  std::vector<std::pair<std::string, std::string>> entries;
  out.hasSection = ParseIniSection(text, kSection, entries);
  auto valueOf = [&](const std::string& name) -> std::string {
    for (const auto& [key, value] : entries)
      if (EqualsNoCase(key, name)) return value;
    return {};
  };
  for (const auto& item : items) {
    if (item->name().empty()) continue;
    const std::string value = valueOf(item->name());
    if (value.empty()) continue;
    if (item->typeLetter() == 'B') {
      const bool yes = EqualsNoCase(value, "yes");
      if (item->GetValueText() == (yes ? "yes" : "no")) continue;
      item->SetValueFromText(yes ? "1" : "0");
      out.changed.push_back(item.get());
      continue;
    }
    if (value == item->GetValueText()) continue;
    // A refused text must not mark a password changed with its old value.
    const SetValueResult result = item->SetValueFromText(value);
    if (result != SetValueResult::kAccepted) {
      out.refused.push_back({item->name(), value, result});
      continue;
    }
    item->NoteEditedText(value);
    out.changed.push_back(item.get());
  }
  for (const auto& entry : entries) {
    // Not a structured binding: clang 14 cannot capture one in the lambda.
    const auto& key = entry.first;
    const bool known = std::any_of(items.begin(), items.end(),
                                   [&](const auto& item) { return EqualsNoCase(item->name(), key); });
    if (!known) out.unknownKeys.push_back(key);
  }
  return true;
}

const char* RefusalText(SetValueResult result) {
  switch (result) {
    case SetValueResult::kTooLow: return "Value too low";
    case SetValueResult::kTooHigh: return "Value too high";
    default: return "Invalid value";
  }
}

}  // namespace skyh
