#include "settings/settings_pieces.h"

#include <algorithm>

namespace skyh {

std::vector<SettingsSpan> FieldSpans(const CSettingsItemList& items) {
  std::vector<SettingsSpan> spans;
  for (const auto& item : items) {
    const ParameterDescriptor* d = item->descriptor();
    if (!d || d->offset < 0) continue;
    const int64_t bytes = FieldByteCount(*d);
    if (bytes <= 0) continue;
    spans.push_back({static_cast<size_t>(d->offset), static_cast<size_t>(bytes)});
  }
  return spans;
}

std::vector<SettingsSpan> SplitSettingsPieces(size_t areaSize, const std::vector<SettingsSpan>& fields,
                                              size_t maxPiece) {
  std::vector<SettingsSpan> pieces;
  if (maxPiece == 0) return pieces;
  size_t start = 0;
  while (start < areaSize) {
    const size_t limit = std::min(start + maxPiece, areaSize);
    size_t end = limit;
    // Moving back to one field's start can land inside another that
    // overlaps it (bit fields sharing bytes), so look again until none holds it.
    for (bool moved = true; moved && end > start;) {
      moved = false;
      for (const SettingsSpan& f : fields) {
        if (f.offset < end && end < f.offset + f.length) {
          end = f.offset;
          moved = true;
          break;
        }
      }
    }
    if (end <= start) end = limit;
    pieces.push_back({start, end - start});
    start = end;
  }
  return pieces;
}

}  // namespace skyh
