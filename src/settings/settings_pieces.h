#pragma once
// How a settings area is cut into WriteSettings pieces: at most 512 bytes
// each, in ascending order, never ending inside a parameter's field.
#include <cstddef>
#include <vector>

#include "settings/settings_item_list.h"

namespace skyh {

constexpr size_t kSettingsPieceBytes = 512;

struct SettingsSpan {
  size_t offset = 0;
  size_t length = 0;
  bool operator==(const SettingsSpan&) const = default;
};

// The bytes each item's field touches: from `offset`,
// ceil((shift + bits) / 8) of them; items without a usable field are left out.
std::vector<SettingsSpan> FieldSpans(const CSettingsItemList& items);

// Consecutive pieces covering [0, areaSize). A piece that would end inside
// a field ends at that field's first byte; when that would leave the piece
// empty (a field longer than a piece starts there) the end stays where it
// was, so every piece moves forward.
std::vector<SettingsSpan> SplitSettingsPieces(size_t areaSize, const std::vector<SettingsSpan>& fields,
                                              size_t maxPiece = kSettingsPieceBytes);

}  // namespace skyh
