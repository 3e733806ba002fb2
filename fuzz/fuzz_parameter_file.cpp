// Parameter file, description file and settings bytes from one input, cut at
// the first two zero bytes; every item operation must stay inside the area.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/text_util.h"
#include "records/parameter_file.h"
#include "settings/build_settings_items.h"

using namespace skyh;

namespace {

std::string_view NextPart(std::string_view& rest) {
  const size_t cut = rest.find('\0');
  std::string_view part = rest.substr(0, cut);
  rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
  return part;
}

void Exercise(CSettingsItem& item, std::vector<uint8_t>& area, const std::vector<std::string>& texts) {
  item.SetDescription(texts.empty() ? "" : texts[0]);
  for (const std::string& text : texts) {
    item.NoteEditedText(text);
    const int result = ResultCode(item.SetValueFromText(text));
    if (result < 0 || result > 3) __builtin_trap();
    item.WriteToRecord(area);
    item.ReadFromRecord(area);
    const std::string shown = item.GetValueText();
    item.SetValueFromText(shown);
    item.SetValueFromText(item.GetStoredText());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  const std::string_view parameterText = NextPart(rest);
  const std::string_view parDescText = NextPart(rest);
  std::vector<uint8_t> area(rest.begin(), rest.end());

  CSettingsRecordList descriptors = ParseParameterLines(SplitTextLines(parameterText));
  const std::vector<std::string> parDescLines = SplitTextLines(parDescText);
  std::vector<std::string> texts = {"", "*****", "-", "1", "-1.5", "yes", "0a", "1e3"};
  for (size_t i = 0; i < parDescLines.size() && i < 4; ++i) texts.push_back(parDescLines[i]);

  // Items made one by one, even from descriptors the builder would refuse.
  for (size_t i = 0; i < descriptors.Count(); ++i) {
    auto copy = std::make_unique<ParameterDescriptor>(*descriptors.At(i));
    if (auto item = CreateSettingsItem(std::move(copy), area)) Exercise(*item, area, texts);
  }

  auto list = BuildSettingsItemsFrom(descriptors, area);
  if (!list) return 0;
  ApplyParameterDescriptions(*list, parDescLines);
  for (const auto& item : *list) {
    FindItemByKey(*list, item->key());
    Exercise(*item, area, texts);
  }
  WriteAllToRecord(*list, area);
  return 0;
}
