#include "settings/set_file.h"

#include <fstream>

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

bool LoadSetFile(const std::string& path, CSettingsItemList& items) {
  if (!std::ifstream(path, std::ios::binary).is_open()) return false;
  const CIniFile file(path, false);
  for (const auto& item : items) {
    if (item->name().empty()) continue;
    const std::string value = file.GetString(kSection, item->name(), "");
    if (value.empty()) continue;
    if (item->typeLetter() == 'B') {
      item->SetValueFromText(EqualsNoCase(value, "yes") ? "1" : "0");
      continue;
    }
    // A refused text must not mark a password changed with its old value.
    if (item->SetValueFromText(value) == kValueAccepted) item->NoteEditedText(value);
  }
  return true;
}

}  // namespace skyh
