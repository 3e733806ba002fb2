#include "settings/settings_item_list.h"

#include "core/text_util.h"
#include "settings/settings_item_boolean.h"
#include "settings/settings_item_decimal.h"
#include "settings/settings_item_hex_string.h"
#include "settings/settings_item_string.h"

namespace skyh {

std::unique_ptr<CSettingsItem> CreateSettingsItem(std::unique_ptr<ParameterDescriptor> descriptor,
                                                  std::span<const uint8_t> area) {
  if (!descriptor) return nullptr;
  std::unique_ptr<CSettingsItem> item;
  switch (descriptor->type) {
    case 'B': case 'b': item = std::make_unique<CSettingsItemBoolean>(std::move(descriptor)); break;
    case 'D': case 'd': item = std::make_unique<CSettingsItemDecimal>(std::move(descriptor)); break;
    case 'H': case 'h': item = std::make_unique<CSettingsItemHexString>(std::move(descriptor)); break;
    case 'P': case 'p': item = std::make_unique<CSettingsItemPassword>(std::move(descriptor)); break;
    case 'S': case 's': item = std::make_unique<CSettingsItemString>(std::move(descriptor)); break;
    default: return nullptr;
  }
  item->ReadFromRecord(area);
  return item;
}

CSettingsItem* FindItemByKey(const CSettingsItemList& list, const std::string& key) {
  for (const auto& item : list) {
    if (item->descriptor() && EqualsNoCase(item->key(), key)) return item.get();
  }
  return nullptr;
}

void WriteAllToRecord(const CSettingsItemList& list, std::span<uint8_t> area) {
  for (const auto& item : list) item->WriteToRecord(area);
}

}  // namespace skyh
