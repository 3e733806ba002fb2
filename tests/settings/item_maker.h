#pragma once
// Items made from parameter lines, as a parameter file would give them.
#include <memory>
#include <span>

#include "records/parameter_file.h"
#include "settings/settings_item_list.h"
#include "support/test_common.h"

namespace skyh::test {

// Fields after "P": name, key, offset, bits, shift, min, max, default, bias,
// multiplier, divisor, decimals, type.
inline std::unique_ptr<CSettingsItem> MakeItem(const std::string& line, std::span<const uint8_t> area) {
  auto descriptor = ParseParameterLine(line);
  EXPECT_TRUE(descriptor.has_value()) << line;
  if (!descriptor) return nullptr;
  auto item = CreateSettingsItem(std::make_unique<ParameterDescriptor>(*descriptor), area);
  EXPECT_NE(item, nullptr) << line;
  return item;
}

// Sets a value that must be accepted and writes it into `area`.
inline void Store(CSettingsItem& item, const std::string& text, std::span<uint8_t> area) {
  EXPECT_EQ(item.SetValueFromText(text), SetValueResult::kAccepted) << text;
  item.WriteToRecord(area);
}

}  // namespace skyh::test
