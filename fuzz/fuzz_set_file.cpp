// A settings file loaded over items of a parameter file, both from one input
// (cut at the first zero byte), merged into the unedited area, then written
// back and cut into pieces: the pieces must tile the area, move forward and
// stay within 512 bytes.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "core/text_util.h"
#include "records/parameter_file.h"
#include "settings/build_settings_items.h"
#include "settings/set_file.h"
#include "settings/settings_sender.h"
#include "settings/settings_pieces.h"

using namespace skyh;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t areaSize = 1 + (data[0] | data[1] << 8) % 4096;
  std::string rest(reinterpret_cast<const char*>(data + 2), size - 2);
  const size_t cut = rest.find('\0');
  const std::string parameterText = rest.substr(0, cut);
  const std::string setText = cut == std::string::npos ? std::string() : rest.substr(cut + 1);

  CSettingsRecordList descriptors = ParseParameterLines(SplitTextLines(parameterText));
  std::vector<uint8_t> area(areaSize, 0x5A);
  auto items = BuildSettingsItemsFrom(descriptors, area);
  if (!items) return 0;

  static const std::string path = "/tmp/fuzz_set_file_" + std::to_string(getpid()) + ".set";
  std::ofstream(path, std::ios::binary | std::ios::trunc) << setText;
  const std::vector<uint8_t> original = area;
  SetFileLoadReport report;
  LoadSetFile(path, *items, &report);
  for (CSettingsItem* item : report.changed) item->WriteToRecord(area);
  if (area.size() != areaSize) __builtin_trap();

  // Merged into the area as it was, through the same layout: the box's
  // area keeps its size.
  static const std::string parPath = "/tmp/fuzz_set_file_" + std::to_string(getpid()) + ".par";
  std::ofstream(parPath, std::ios::binary | std::ios::trunc) << parameterText;
  std::vector<uint8_t> box = original;
  std::vector<SettingsSpan> fields;
  if (MergeSettingsAreas("/nonexistent/ParDesc.dat", parPath, area, parPath, box, fields)) {
    if (box.size() != areaSize) __builtin_trap();
  }
  WriteAllToRecord(*items, area);

  size_t next = 0;
  for (const SettingsSpan& piece : SplitSettingsPieces(areaSize, FieldSpans(*items))) {
    if (piece.offset != next || piece.length == 0 || piece.length > kSettingsPieceBytes) __builtin_trap();
    next += piece.length;
  }
  if (next != areaSize) __builtin_trap();
  return 0;
}
