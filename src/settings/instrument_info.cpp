#include "settings/instrument_info.h"

#include <span>

#include "core/folders.h"
#include "core/format.h"
#include "records/settings_area.h"
#include "settings/build_settings_items.h"

namespace skyh {

std::string PadHeadNumber(const std::string& number) {
  std::string padded = number;
  while (padded.size() < 4) padded.insert(padded.begin(), '0');
  return padded;
}

InstrumentInfo ReadInstrumentInfo(const std::string& configurationDirectory, const RecordStore& store) {
  InstrumentInfo info;
  const CRecord* header = store.Header();
  if (!header) return info;
  info.hasHeader = true;
  info.version = Sprintf("%d.%d", store.versionNumber[0], store.versionNumber[1]);
  const std::string dir = WithSlash(configurationDirectory);
  std::span<const uint8_t> area = SettingsAreaOf(std::span<const uint8_t>(header->raw(), header->length()));
  auto items = BuildSettingsItems(dir + "ParDesc.dat", dir + store.parameterFileName, area, &info.noNumberReason);
  if (!items) return info;
  info.parametersLoaded = true;
  const CSettingsItem* idnum = FindItemByKey(*items, "IDNUM");
  if (idnum) info.number = idnum->GetValueText();
  if (info.number.empty())
    info.noNumberReason = (idnum ? "the IDNUM parameter is empty in \"" : "no IDNUM parameter in \"") + dir +
                          store.parameterFileName + "\"";
  if (CSettingsItem* item = FindItemByKey(*items, "IDLAT")) info.latitude = item->GetValueText();
  if (CSettingsItem* item = FindItemByKey(*items, "IDLONG")) info.longitude = item->GetValueText();
  return info;
}

InstrumentInfo ShowSettingsRecord(const std::string& configurationDirectory, RecordStore& store) {
  InstrumentInfo info = ReadInstrumentInfo(configurationDirectory, store);
  if (!info.number.empty()) store.headNumber = PadHeadNumber(info.number);
  return info;
}

std::string SetHeadNumberFromSettings(const std::string& configurationDirectory, RecordStore& store) {
  return ShowSettingsRecord(configurationDirectory, store).noNumberReason;
}

}  // namespace skyh
