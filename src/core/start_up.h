#pragma once
// The first steps of every entry point: folders, the old INI's migration,
// two folder-dependent defaults, and the log.
#include <functional>
#include <optional>
#include <string>

namespace skyh {

struct StartUpOptions {
  // Defaults to the running executable's folder (tests point it elsewhere).
  std::optional<std::string> applicationFolder;
  // Loads the scenario list from the configuration directory (optional:
  // the core does not know records).
  std::function<void(const std::string& configurationDirectory)> loadScenarioList;
  // Tools run by schedulers: every failure is said (also those the window
  // passes over in silence) and ends with exit code 1 instead of 0.
  bool failuresExitOne = false;
  // One instance per instrument: this INI instead of the settings folder's
  // SkyHarvester.ini. It must exist; the log and the default output folder
  // are named after it (NAME.log and NAME/ in the data folder for NAME.ini).
  std::optional<std::string> iniFile;
};

struct StartUpPaths {
  std::string applicationFolder;  // ends with "/", may be empty
  std::string settingsFolder;     // ends with "/"
  std::string iniPath;
  std::string dataFolder;         // ends with "/"
  std::string configurationDirectory;
  std::string logPath;
};

// Gives std::nullopt to go on, or the exit code with which the process ends.
// Messages go through the user-message sink; the log is installed with
// SetLog (off until switched on). A configuration file that exists but
// cannot be read ends start-up with a message before anything is written.
std::optional<int> StartUp(const StartUpOptions& options, StartUpPaths& paths);

// The INI asked for: `option` (--config) when given, else the environment's
// SKYHARVESTER_CONFIG when set and not empty, else none (the default INI).
std::optional<std::string> ChosenIniFile(const std::optional<std::string>& option);

}  // namespace skyh
