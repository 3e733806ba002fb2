#include "core/configuration.h"

#include "core/ini_file.h"

namespace skyh {

void CConfiguration::SetStartSeconds(int32_t value) {
  startHour = static_cast<uint8_t>(value / 3600);
  startMinute = static_cast<uint8_t>((value / 60) % 60);
  startSecond = static_cast<uint8_t>(value % 60);
}

const char* RetrievalPeriodName(int period) {
  static const char* const names[] = {"1 Hour",  "2 Hours", "3 Hours",  "4 Hours",
                                      "6 Hours", "8 Hours", "12 Hours", "Days"};
  return (period >= 0 && period < 8) ? names[period] : "";
}

void LoadConfiguration(const std::string& iniPath, CConfiguration& c, DebugSettings* debug) {
  CIniFile ini(iniPath, true);
  DebugSettings d;
  d.expert = ini.GetInt("debug", "expert", 0) == 1;
  d.disableCloseButton = ini.GetInt("debug", "DisableCloseButton", 0) == 1;
  if (debug) *debug = d;

  c.configurationDirectory = ini.GetString("general", "configuration", "");
  c.automaticEnabled = ini.GetIntInRange("automatic", "enable", 0, 0, 1);
  c.retrievalPeriod = static_cast<uint8_t>(ini.GetIntInRange("automatic", "period", 0, 0, 7));
  c.periodDays = static_cast<uint8_t>(ini.GetIntInRange("automatic", "day", 1, 1, 10));
  c.outputDirectory = ini.GetString("automatic", "ascii_path", "");
  c.filesPeriod = static_cast<uint8_t>(ini.GetIntInRange("automatic", "RecPeriod", 0, 0, 4));
  c.SetStartSeconds(ini.GetIntInRange("automatic", "start", 32400, 0, 86399));
  c.createK8 = ini.GetIntInRange("automatic", "k8", 1, 0, 1);
  c.createAscii = ini.GetIntInRange("automatic", "ascii", 1, 0, 1);
  c.baseName = ini.GetString("automatic", "basename", "SP%VERS%_%HEAD%");
  c.linkType = static_cast<uint8_t>(ini.GetIntInRange("communication", "type", 0, 0, 2));
  c.port = ini.GetString("communication", "port", "");
  c.phoneNumber = ini.GetString("communication", "phone_number", "");
  c.logEnabled = ini.GetIntInRange("communication", "log", 0, 0, 1);
  c.retrieveMissing = ini.GetIntInRange("communication", "retrieve_missing", 1, 0, 1);
  c.retrieveLimited = ini.GetIntInRange("communication", "retrieve_limited", 1, 0, 1);
  c.retrieveMaxDays = ini.GetIntInRange("communication", "retrieve_max_days", 1, 1, 30);
  c.retryCount = ini.GetIntInRange("communication", "retry", 5, 1, 5);
  c.autoSetTime = ini.GetIntInRange("communication", "AutoSetTime", 0, 0, 1);
  c.autoSetTimeMax = ini.GetInt("communication", "AutoSetTimeMax", 10);
  c.autoSetTimeNeedsSync = ini.GetIntInRange("communication", "AutoSetTimeNeedsSync", 0, 0, 1);
  c.viewUnknown = ini.GetIntInRange("communication", "ViewUnknown", 0, 0, 1);
}

void SaveConfiguration(const std::string& iniPath, const CConfiguration& c) {
  auto n = [](int32_t v) { return std::to_string(v); };
  // One rewrite of the file for the whole save, keys in this order.
  CIniFile(iniPath, true).WriteStrings({
      {"general", "configuration", c.configurationDirectory},
      {"automatic", "enable", n(c.automaticEnabled)},
      {"automatic", "period", n(c.retrievalPeriod)},
      {"automatic", "day", n(c.periodDays)},
      {"automatic", "ascii_path", c.outputDirectory},
      {"automatic", "RecPeriod", n(c.filesPeriod)},
      {"automatic", "start", n(c.StartSeconds())},
      {"automatic", "k8", n(c.createK8)},
      {"automatic", "ascii", n(c.createAscii)},
      {"automatic", "basename", c.baseName},
      {"communication", "type", n(c.linkType)},
      {"communication", "port", c.port},
      {"communication", "phone_number", c.phoneNumber},
      {"communication", "log", n(c.logEnabled)},
      {"communication", "retrieve_missing", n(c.retrieveMissing)},
      {"communication", "retrieve_limited", n(c.retrieveLimited)},
      {"communication", "retrieve_max_days", n(c.retrieveMaxDays)},
      {"communication", "retry", n(c.retryCount)},
      {"communication", "AutoSetTime", n(c.autoSetTime)},
      {"communication", "AutoSetTimeMax", n(c.autoSetTimeMax)},
      {"communication", "ViewUnknown", n(c.viewUnknown)},
      {"communication", "AutoSetTimeNeedsSync", n(c.autoSetTimeNeedsSync)},
  });
}

}  // namespace skyh
