// skyharvester-cli settings show | save FILE.set | load FILE.set [--send]
#include <cstdio>
#include <filesystem>

#include "app/cli_json.h"
#include "app/cli_link.h"
#include "app/cli_progress.h"
#include "app/cli_session.h"
#include "core/folders.h"
#include "core/format.h"
#include "data/record_store.h"
#include "records/parameter_file.h"
#include "records/settings_area.h"
#include "settings/build_settings_items.h"
#include "settings/set_file.h"
#include "settings/settings_sender.h"

namespace skyh::cli {
namespace {

const char kUsage[] =
    "Usage: skyharvester-cli settings show [--from FILE.k8] [--json] [link options]\n"
    "       skyharvester-cli settings save [FILE.set | FOLDER] [--from FILE.k8] [link options]\n"
    "       skyharvester-cli settings load FILE.set [--send] [--from FILE.k8] [link options]\n";

// The settings record to work on: the box's, or the header of a data file.
std::optional<std::vector<uint8_t>> SourceRecord(const CliOptions& options, const CConfiguration& config) {
  if (!options.Has("from")) return ReadBoxSettings(config);
  const std::string path = options.Value("from");
  RecordStore store;
  if (!store.LoadFromFile(path)) {
    ReportError("Error, can't open " + path);
    return std::nullopt;
  }
  std::vector<uint8_t> record = SettingsRecordOf(store);
  if (record.empty()) {
    ReportError(path + " has no settings record.");
    return std::nullopt;
  }
  return record;
}

struct Settings {
  std::vector<uint8_t> record;
  std::unique_ptr<CSettingsItemList> items;
};

// The source's settings record and its items; nothing (the reason printed)
// when either cannot be had.
std::optional<Settings> LoadSettings(const CliOptions& options, const CConfiguration& config) {
  auto record = SourceRecord(options, config);
  if (!record) return std::nullopt;
  Settings settings{std::move(*record), nullptr};
  const std::string dir = WithSlash(config.configurationDirectory);
  const std::string parameterFile = ParameterFileNameOfRecord(settings.record);
  settings.items = BuildSettingsItems(dir + "ParDesc.dat", dir + parameterFile, SettingsAreaOf(settings.record));
  if (!settings.items) {
    ReportError("Can't load \"" + parameterFile + "\" file\nor the file is invalid.");
    return std::nullopt;
  }
  return settings;
}

void PrintItems(const CSettingsItemList& items) {
  for (const auto& item : items)
    std::printf("%-20s %-16s %s\n", item->name().c_str(), item->GetValueText().c_str(), item->description().c_str());
}

int Save(const CliOptions& options, const CConfiguration& config) {
  const auto& args = options.Positional();
  if (args.size() > 2) {
    std::fprintf(stderr, "%s", kUsage);
    return kExitError;
  }
  auto settings = LoadSettings(options, config);
  if (!settings) return kExitError;
  const CSettingsItemList& items = *settings->items;
  // Without a file name, or with a folder, the name the editor proposes.
  std::string path = args.size() == 2 ? args[1] : "";
  std::error_code ec;
  if (path.empty() || std::filesystem::is_directory(path, ec))
    path = (path.empty() ? std::string() : WithSlash(path)) + ProposedSetFileName(items);
  if (!SaveSetFile(path, items)) {
    std::fprintf(stderr, "Can't write %s\n", path.c_str());
    return kExitError;
  }
  std::printf("%s\n", path.c_str());
  return kExitOk;
}

int Load(const CliOptions& options, const CConfiguration& config) {
  const auto& args = options.Positional();
  if (args.size() != 2) {
    std::fprintf(stderr, "%s", kUsage);
    return kExitError;
  }
  auto settings = LoadSettings(options, config);
  if (!settings) return kExitError;
  CSettingsItemList& items = *settings->items;
  SetFileLoadReport report;
  if (!LoadSetFile(args[1], items, &report)) {
    std::fprintf(stderr, "Can't read %s: %s\n", args[1].c_str(), report.error.c_str());
    return kExitError;
  }
  if (!report.hasSection) {
    std::fprintf(stderr, "%s has no [Settings] section: nothing loaded.\n", args[1].c_str());
    return kExitError;
  }
  // The editor keeps refusals to itself; here nobody would see them.
  for (const auto& refusal : report.refused)
    std::fprintf(stderr, "%s = %s refused: %s\n", refusal.name.c_str(), refusal.value.c_str(),
                 RefusalText(refusal.result));
  for (const std::string& key : report.unknownKeys)
    std::fprintf(stderr, "%s is not a setting of this instrument: ignored\n", key.c_str());
  if (!options.Has("send")) {
    PrintItems(items);
    std::fprintf(stderr, "Nothing sent: give --send to write these settings to the control box.\n");
    return kExitOk;
  }
  // Only what the file changed: the others keep their bytes exactly.
  for (CSettingsItem* item : report.changed) item->WriteToRecord(SettingsAreaOf(settings->record));

  SendSettingsJob job;
  job.editedRecord = std::move(settings->record);
  job.configurationDirectory = config.configurationDirectory;
  LinkSession session;
  session.Choose(config);
  TerminalProgress progress;
  TerminalStatusLine status(progress);
  return SendSettings(session, job, progress, status) ? kExitOk : kExitError;
}

int Show(const CliOptions& options, const CConfiguration& config, const JsonOutput& json) {
  Json out{{"command", "settings show"}};
  out["source"] = options.Has("from") ? options.Value("from") : "box";
  auto settings = LoadSettings(options, config);
  if (!settings) return json.Finish(out, kExitError);
  PrintItems(*settings->items);
  out["parameter_file"] = ParameterFileNameOfRecord(settings->record);
  Json items = Json::array();
  for (const auto& item : *settings->items)
    items.push_back({{"name", item->name()},
                     {"key", item->key()},
                     {"value", item->GetValueText()},
                     {"description", item->description()}});
  out["settings"] = items;
  return json.Finish(out, kExitOk);
}

int RunSettings(CliContext& ctx) {
  const JsonOutput json(ctx.args);
  CConfiguration config;
  auto options = ParseLinkCommand(ctx, {"from"}, {"send", kJsonFlag}, config);
  if (!options) return json.Finish({{"command", "settings show"}}, kExitError);
  const auto& args = options->Positional();
  const std::string verb = args.empty() ? "" : args[0];
  if (verb == "show" && args.size() == 1) return Show(*options, config, json);
  if (verb == "save" && !json.On()) return Save(*options, config);
  if (verb == "load" && !json.On()) return Load(*options, config);
  NoteError("settings takes show, save or load (--json with show only)");
  std::fprintf(stderr, "%s", kUsage);
  return json.Finish({{"command", "settings show"}}, kExitError);
}

const std::string& Help() {
  static const std::string text =
      std::string(kUsage) +
      "\nThe control box's settings as typed parameters (layout from the parameter\n"
      "file of the box's firmware and ParDesc.dat in the configuration directory).\n"
      "  show   prints one line per parameter: name, value, description\n"
      "  save   writes the settings to a .set file (section [Settings], one\n"
      "         name=value line each; passwords as *****); without a file name, or\n"
      "         with a folder, the name is Settings_<instrument number>.set\n"
      "  load   reads a .set file over the settings: names the file lacks, empty\n"
      "         values and refused values keep the current value; yes/no for\n"
      "         switches. Without --send the result is only printed. With --send\n"
      "         the result is merged by name into the box's current settings and\n"
      "         written to the box (a password other than ***** is written).\n"
      "         Refused values and names that are no setting of the instrument\n"
      "         are listed on stderr; a file without a [Settings] section is an\n"
      "         error.\n\n"
      "Options:\n"
      "  --from FILE.k8           start from the settings record of a data file\n"
      "                           instead of the box's\n"
      "  --send                   load: write the settings to the control box\n"
      "  --json                   show: the settings as one JSON object on stdout\n" +
      LinkOptionsHelp() + "\nExit code: 0 success, 1 error.\n";
  return text;
}

const CliCommandRegistrar registrar({"settings", "show, save, load and send the control box's settings",
                                     Help().c_str(), RunSettings, 55});

}  // namespace
}  // namespace skyh::cli
