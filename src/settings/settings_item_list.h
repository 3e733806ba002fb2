#pragma once
// The typed settings of one settings area, in parameter-file order.
#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "settings/settings_item.h"

namespace skyh {

class CSettingsItemList {
 public:
  void Add(std::unique_ptr<CSettingsItem> item) { items_.push_back(std::move(item)); }
  size_t Count() const { return items_.size(); }
  CSettingsItem* At(size_t index) const { return index < items_.size() ? items_[index].get() : nullptr; }

  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 private:
  std::vector<std::unique_ptr<CSettingsItem>> items_;
};

// The item for the descriptor's type letter (B, D, H, P, S in either case),
// already read from the area; null for any other letter.
std::unique_ptr<CSettingsItem> CreateSettingsItem(std::unique_ptr<ParameterDescriptor> descriptor,
                                                  std::span<const uint8_t> area);

// The first item whose key equals `key`, ignoring case; null when none does.
CSettingsItem* FindItemByKey(const CSettingsItemList& list, const std::string& key);

// Writes every item back into the area, in list order.
void WriteAllToRecord(const CSettingsItemList& list, std::span<uint8_t> area);

}  // namespace skyh
