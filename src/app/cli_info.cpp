// skyharvester-cli info FILE.k8
#include <cstdio>

#include "app/cli_json.h"
#include "app/cli_progress.h"
#include "app/cli_session.h"
#include "core/format.h"
#include "core/log_file.h"
#include "data/k8_file.h"
#include "data/record_store.h"
#include "settings/instrument_info.h"

namespace skyh::cli {
namespace {

int RunInfo(CliContext& ctx) {
  const JsonOutput json(ctx.args);
  Json out{{"command", "info"}};
  CliOptions options(ctx.args, {}, {kJsonFlag});
  if (!options.Ok() || options.Positional().size() != 1) {
    ReportError(options.Ok() ? "info takes one file" : options.Error());
    std::fprintf(stderr, "Usage: skyharvester-cli info FILE.k8 [--json]\n");
    return json.Finish(out, kExitError);
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
  out["file"] = path;
  if (!loaded) {
    std::fprintf(stderr, "%s", damage.c_str());
    ReportError("Error, can't open " + path);
    return json.Finish(out, kExitError);
  }
  std::printf("File: %s\n", path.c_str());
  out["settings_record"] = store.Header() != nullptr;
  if (!store.Header()) {
    std::printf("Settings record: none\n");
  } else {
    const InstrumentInfo info = ReadInstrumentInfo(ctx.config.configurationDirectory, store);
    std::printf("Version: %s\n", info.version.c_str());
    std::printf("Scenario key: %s\n", store.scenarioKey.c_str());
    std::printf("Parameter file: %s%s\n", store.parameterFileName.c_str(),
                info.parametersLoaded ? "" : " (not found or not usable)");
    out["version"] = info.version;
    out["scenario_key"] = store.scenarioKey;
    out["parameter_file"] = store.parameterFileName;
    out["parameters_loaded"] = info.parametersLoaded;
    if (info.parametersLoaded) {
      std::printf("Instrument number: %s\n", info.number.c_str());
      std::printf("Latitude: %s\n", info.latitude.c_str());
      std::printf("Longitude: %s\n", info.longitude.c_str());
      out["instrument_number"] = info.number;
      out["latitude"] = info.latitude;
      out["longitude"] = info.longitude;
    }
  }
  const StoreSummary summary = SummariseStore(store);
  std::printf("Records: %d\n", summary.total);
  for (const StoreSummary::Type& t : summary.types)
    std::printf("  type 0x%02X %-12s %d\n", t.type, t.name.empty() ? "(unknown)" : t.name.c_str(), t.count);
  std::printf("Unknown records: %d\n", summary.unknown);
  std::printf("First time: %s\n", summary.first < 0 ? "none" : (FormatUtc(summary.first) + " UTC").c_str());
  std::printf("Last time: %s\n", summary.last < 0 ? "none" : (FormatUtc(summary.last) + " UTC").c_str());
  out["records"] = RecordsJson(summary);
  out["first_time"] = TimeJson(summary.first);
  out["last_time"] = TimeJson(summary.last);
  out["damage"] = damage.empty() ? Json() : Json(WithoutTrailingNewlines(damage));
  if (!damage.empty()) {
    std::fprintf(stderr, "%s", damage.c_str());
    NoteError(damage);
    return json.Finish(out, kExitError);
  }
  return json.Finish(out, kExitOk);
}

const CliCommandRegistrar registrar(
    {"info", "describe a K8 data file",
     "Usage: skyharvester-cli info FILE.k8 [--json]\n\n"
     "Prints the data file's header (version, scenario key, parameter file and,\n"
     "when the parameter files are in the configuration directory, the\n"
     "instrument number and position), the number of records of each record\n"
     "type with its layout's name, the number of records no layout describes,\n"
     "and the first and last time stamp (UTC).\n\n"
     "A damaged file is described up to the damage, which is reported on stderr\n"
     "(\"damaged at byte N: M records read, K bytes not read\").\n\n"
     "Options:\n"
     "  --json                   the description as one JSON object on stdout\n\n"
     "Exit code: 0 success, 1 the file cannot be read, is not a data file or is damaged.\n",
     RunInfo, 40});

}  // namespace
}  // namespace skyh::cli
