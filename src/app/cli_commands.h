#pragma once
// Subcommands of skyharvester-cli. Each cli_<name>.cpp registers its own.
#include <string>
#include <vector>

#include "core/configuration.h"
#include "core/start_up.h"

namespace skyh::cli {

struct CliContext {
  StartUpPaths paths;
  CConfiguration config;
  DebugSettings debug;
  std::vector<std::string> args;  // after the subcommand name
};

struct CliCommand {
  const char* name;
  const char* synopsis;  // one line for --help
  const char* help;      // full text for "<command> --help"
  int (*run)(CliContext& context);
  int order;             // position in --help
};

void RegisterCliCommand(const CliCommand& command);
const std::vector<CliCommand>& CliCommands();

struct CliCommandRegistrar {
  explicit CliCommandRegistrar(const CliCommand& command) { RegisterCliCommand(command); }
};

// Exit codes of the tool.
constexpr int kExitOk = 0;
constexpr int kExitError = 1;
constexpr int kExitAborted = 2;

}  // namespace skyh::cli
