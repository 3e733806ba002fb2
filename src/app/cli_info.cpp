// skyharvester-cli info FILE.k8
#include <cstdio>
#include <map>

#include "app/cli_session.h"
#include "core/format.h"
#include "core/log_file.h"
#include "data/k8_file.h"
#include "data/record_store.h"
#include "settings/instrument_info.h"

namespace skyh::cli {
namespace {

int RunInfo(CliContext& ctx) {
  CliOptions options(ctx.args, {}, {});
  if (!options.Ok() || options.Positional().size() != 1) {
    if (!options.Ok()) std::fprintf(stderr, "%s\n", options.Error().c_str());
    std::fprintf(stderr, "Usage: skyharvester-cli info FILE.k8\n");
    return kExitError;
  }
  const std::string& path = options.Positional()[0];
  RecordStore store;
  K8Unread unread;
  const bool loaded = store.LoadFromFile(path, &unread);
  // The description stops where the parse stopped; say so.
  std::string damage;
  if (unread.bytes > 0) {
    damage = K8DamageText(path, unread.at, store.Count(), unread.bytes);
    LogLine("%s", damage);
  }
  if (!loaded) {
    std::fprintf(stderr, "%sError, can't open %s\n", damage.c_str(), path.c_str());
    return kExitError;
  }
  std::printf("File: %s\n", path.c_str());
  if (!store.Header()) {
    std::printf("Settings record: none\n");
  } else {
    const InstrumentInfo info = ReadInstrumentInfo(ctx.config.configurationDirectory, store);
    std::printf("Version: %s\n", info.version.c_str());
    std::printf("Scenario key: %s\n", store.scenarioKey.c_str());
    std::printf("Parameter file: %s%s\n", store.parameterFileName.c_str(),
                info.parametersLoaded ? "" : " (not found or not usable)");
    if (info.parametersLoaded) {
      std::printf("Instrument number: %s\n", info.number.c_str());
      std::printf("Latitude: %s\n", info.latitude.c_str());
      std::printf("Longitude: %s\n", info.longitude.c_str());
    }
  }
  // One record type may have several layouts (told apart by their content).
  std::map<std::pair<uint8_t, std::string>, int> types;
  int64_t first = -1, last = -1;
  for (int32_t i = 0; i < store.Count(); ++i) {
    const CRecord* r = store.At(i);
    ++types[{r->type(), r->IsUnknown() ? "(unknown)" : r->name()}];
    const int64_t time = r->time();
    if (time < 0) continue;
    if (first < 0 || time < first) first = time;
    if (last < 0 || time > last) last = time;
  }
  std::printf("Records: %d\n", store.Count());
  for (const auto& [type, count] : types)
    std::printf("  type 0x%02X %-12s %d\n", type.first, type.second.c_str(), count);
  std::printf("Unknown records: %d\n", store.UnknownCount());
  std::printf("First time: %s\n", first < 0 ? "none" : (FormatUtc(first) + " UTC").c_str());
  std::printf("Last time: %s\n", last < 0 ? "none" : (FormatUtc(last) + " UTC").c_str());
  if (!damage.empty()) {
    std::fprintf(stderr, "%s", damage.c_str());
    return kExitError;
  }
  return kExitOk;
}

const CliCommandRegistrar registrar(
    {"info", "describe a K8 data file",
     "Usage: skyharvester-cli info FILE.k8\n\n"
     "Prints the data file's header (version, scenario key, parameter file and,\n"
     "when the parameter files are in the configuration directory, the\n"
     "instrument number and position), the number of records of each record\n"
     "type with its layout's name, the number of records no layout describes,\n"
     "and the first and last time stamp (UTC).\n\n"
     "A damaged file is described up to the damage, which is reported on stderr\n"
     "(\"damaged at byte N: M records read, K bytes not read\").\n\n"
     "Exit code: 0 success, 1 the file cannot be read, is not a data file or is damaged.\n",
     RunInfo, 40});

}  // namespace
}  // namespace skyh::cli
