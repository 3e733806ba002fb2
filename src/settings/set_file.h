#pragma once
// Settings files (".set"): one section "Settings" with a line
// name = value text per parameter, in item order.
#include <string>
#include <vector>

#include "settings/settings_item_list.h"

namespace skyh {

// "Settings_" + the IDNUM text padded with "0" to four characters + ".set",
// or "Settings.set" when there is no IDNUM item.
std::string ProposedSetFileName(const CSettingsItemList& items);

// Writes every item's GetValueText under its parameter name; other keys of
// an existing file stay. False when the file could not be written.
bool SaveSetFile(const std::string& path, const CSettingsItemList& items);

// What loading a .set file did, for those who report it.
struct SetFileLoadReport {
  std::string error;         // why the file could not be read
  bool hasSection = false;   // the file has a "Settings" section
  struct Refusal {
    std::string name, value;
    SetValueResult result;  // SetValueFromText's answer
  };
  std::vector<Refusal> refused;
  std::vector<std::string> unknownKeys;  // keys that name no item
  std::vector<CSettingsItem*> changed;   // items given a new value
};

// Gives each item the value its parameter name has in the file: booleans
// take "yes" (any case) as 1 and anything else as 0; other items take the
// text and note it as edited. Missing or empty values and refused texts
// leave the item as it was, and so does the text the item already shows,
// so that a value the text cannot hold exactly keeps its precision. False
// when the file cannot be read.
bool LoadSetFile(const std::string& path, CSettingsItemList& items, SetFileLoadReport* report = nullptr);

// "Value too low", "Value too high" or "Invalid value".
const char* RefusalText(SetValueResult result);

}  // namespace skyh
