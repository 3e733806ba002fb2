// skyharvester-cli: SkyHarvester for stations without a desktop.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/cli_commands.h"
#include "app/cli_options.h"
#include "core/folders.h"
#include "core/log_file.h"
#include "records/scenario_list.h"
#include "core/version.h"

namespace skyh::cli {

static std::vector<CliCommand>& Registry() {
  static std::vector<CliCommand> commands;
  return commands;
}

void RegisterCliCommand(const CliCommand& command) { Registry().push_back(command); }

const std::vector<CliCommand>& CliCommands() {
  std::stable_sort(Registry().begin(), Registry().end(),
                   [](const CliCommand& a, const CliCommand& b) { return a.order < b.order; });
  return Registry();
}

static void PrintUsage(FILE* out) {
  std::fprintf(out,
               "skyharvester-cli %d.%d.%d - sun photometer data retrieval without a desktop\n\n"
               "Usage: skyharvester-cli <command> [options]\n"
               "       skyharvester-cli <command> --help\n\n"
               "Commands:\n",
               kVersionMajor, kVersionMinor, kVersionRevision);
  for (const CliCommand& c : CliCommands()) std::fprintf(out, "  %-22s %s\n", c.name, c.synopsis);
  std::fprintf(out,
               "\nOptions:\n"
               "  -h, --help             show this text\n"
               "  --version              show the version\n"
               "  --config FILE          use FILE instead of SkyHarvester.ini, before or after the\n"
               "                         command (default: $SKYHARVESTER_CONFIG when set); for\n"
               "                         NAME.ini the log and default files folder are NAME.log and\n"
               "                         NAME/ in the data folder\n"
               "\nThe tool reads the same SkyHarvester.ini as the window (settings folder:\n"
               "$XDG_CONFIG_HOME/SkyHarvester, else ~/.config/SkyHarvester).\n"
               "Exit codes: 0 success, 1 error, 2 aborted.\n");
}

}  // namespace skyh::cli

int main(int argc, char** argv) {
  using namespace skyh;
  using namespace skyh::cli;
  std::vector<std::string> args(argv + 1, argv + argc);
  std::optional<std::string> config;
  if (std::string error; !TakeGlobalOption(args, "config", config, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return kExitError;
  }
  if (args.empty()) {
    PrintUsage(stderr);
    return kExitError;
  }
  std::string name = args[0];
  if (name == "--help" || name == "-h" || name == "help") {
    PrintUsage(stdout);
    return kExitOk;
  }
  if (name == "--version") {
    std::printf("skyharvester-cli %d.%d.%d\n", kVersionMajor, kVersionMinor, kVersionRevision);
    return kExitOk;
  }
  const auto& commands = CliCommands();
  auto it = std::find_if(commands.begin(), commands.end(), [&](const CliCommand& c) { return name == c.name; });
  if (it == commands.end()) {
    std::fprintf(stderr, "Unknown command \"%s\".\n\n", name.c_str());
    PrintUsage(stderr);
    return kExitError;
  }
  CliContext context;
  context.args.assign(args.begin() + 1, args.end());
  if (std::find(context.args.begin(), context.args.end(), "--help") != context.args.end()) {
    std::printf("%s", it->help);
    return kExitOk;
  }
  StartUpOptions options;
  // Start-up has said why it cannot go on; a scheduler sees the failure.
  options.failuresExitOne = true;
  options.iniFile = ChosenIniFile(config);
  if (auto code = StartUp(options, context.paths)) return *code;
  LoadConfiguration(context.paths.iniPath, context.config, &context.debug);
  if (CLogFile* log = GetLog()) log->Start(context.config.logEnabled != 0);
  // As the window does after reading the configuration.
  GetScenarioList().Load(WithSlash(context.config.configurationDirectory) + "ScnList.dat");
  int rc = it->run(context);
  SetLog(nullptr);
  return rc;
}
