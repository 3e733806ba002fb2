// skyharvester-cli config show
#include <cstdio>

#include "app/cli_commands.h"

namespace skyh::cli {
namespace {

int RunConfig(CliContext& ctx) {
  if (ctx.args.empty() || ctx.args[0] != "show") {
    std::fprintf(stderr, "Usage: skyharvester-cli config show\n");
    return kExitError;
  }
  const CConfiguration& c = ctx.config;
  auto s = [](const char* key, const std::string& v) { std::printf("%s = %s\n", key, v.c_str()); };
  auto i = [](const char* key, long v) { std::printf("%s = %ld\n", key, v); };
  i("debug/expert", ctx.debug.expert ? 1 : 0);
  i("debug/DisableCloseButton", ctx.debug.disableCloseButton ? 1 : 0);
  s("general/configuration", c.configurationDirectory);
  i("automatic/enable", c.automaticEnabled);
  i("automatic/period", c.retrievalPeriod);
  i("automatic/day", c.periodDays);
  s("automatic/ascii_path", c.outputDirectory);
  i("automatic/RecPeriod", c.filesPeriod);
  std::printf("automatic/start = %02d:%02d:%02d\n", c.startHour, c.startMinute, c.startSecond);
  i("automatic/k8", c.createK8);
  i("automatic/ascii", c.createAscii);
  s("automatic/basename", c.baseName);
  i("communication/type", c.linkType);
  s("communication/port", c.port);
  s("communication/phone_number", c.phoneNumber);
  i("communication/log", c.logEnabled);
  i("communication/retrieve_missing", c.retrieveMissing);
  i("communication/retrieve_limited", c.retrieveLimited);
  i("communication/retrieve_max_days", c.retrieveMaxDays);
  i("communication/retry", c.retryCount);
  i("communication/AutoSetTime", c.autoSetTime);
  i("communication/AutoSetTimeMax", c.autoSetTimeMax);
  i("communication/AutoSetTimeNeedsSync", c.autoSetTimeNeedsSync);
  i("communication/ViewUnknown", c.viewUnknown);
  s("folders/application", ctx.paths.applicationFolder);
  s("folders/settings", ctx.paths.settingsFolder);
  s("folders/data", ctx.paths.dataFolder);
  s("folders/configuration", ctx.paths.configurationDirectory);
  s("files/ini", ctx.paths.iniPath);
  s("files/log", ctx.paths.logPath);
  return kExitOk;
}

const CliCommandRegistrar registrar({"config", "show the configuration as loaded",
                                     "Usage: skyharvester-cli config show\n\n"
                                     "Prints every configuration value as loaded from SkyHarvester.ini\n"
                                     "(after defaults and ranges), one \"section/key = value\" line each,\n"
                                     "then the folders and files start-up chose.\n",
                                     RunConfig, 90});

}  // namespace
}  // namespace skyh::cli
