#include "core/start_up.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "core/file_read.h"
#include "core/folders.h"
#include "core/ini_file.h"
#include "core/log_file.h"
#include "core/user_messages.h"

namespace skyh {
namespace {

// Creates the folder; a name that exists but is not a folder gets a second try.
bool PrepareFolder(const std::string& folder) {
  std::string name = folder;
  if (name.size() > 1 && name.back() == '/') name.pop_back();
  if (!FileExists(name) && !CreateFolder(name)) return false;
  if (FileExists(name) && !IsDirectory(name) && !CreateFolder(name)) return false;
  return IsDirectory(name);
}

// Moves a file without replacing an existing target (as the platform's move does).
bool MoveFileNoReplace(const std::string& from, const std::string& to) {
  if (FileExists(to)) return false;
  if (std::rename(from.c_str(), to.c_str()) == 0) return true;
  // Another file system: copy, then remove the original.
  std::string content;
  if (ReadWholeFile(from, content) != FileReadStatus::kRead) return false;
  if (!WriteFileAtomically(to, content)) return false;
  return std::remove(from.c_str()) == 0;
}

// The default INI: the settings folder's SkyHarvester.ini, with the old one
// beside the program moved there.
std::optional<int> UseSettingsFolder(StartUpPaths& paths, int failure) {
  std::string roaming = RoamingFolder();
  if (roaming.empty() || !CreateFolders(roaming)) {
    ShowMessage(MessageKind::Error, "Can't find roaming folder");
    return failure;
  }
  paths.settingsFolder = roaming + "SkyHarvester/";
  if (!PrepareFolder(paths.settingsFolder)) {
    ShowMessage(MessageKind::Error, "Can't create \"SkyHarvester\" directory in roaming folder");
    return failure;
  }

  paths.iniPath = paths.settingsFolder + "SkyHarvester.ini";
  if (!paths.applicationFolder.empty()) {
    std::string oldIni = paths.applicationFolder + "SkyHarvester.ini";
    if (IsRegularFile(oldIni) && !MoveFileNoReplace(oldIni, paths.iniPath) && !FileExists(paths.iniPath)) {
      ShowMessage(MessageKind::Warning,
                  "Can't move \"SkyHarvester.ini\" file to roaming folder.\n"
                  "Default settings for SkyHarvester will be used.");
    }
  }
  return std::nullopt;
}

// An INI asked for by name must be there: a mistyped name would otherwise
// start a new instance on defaults. Relative names are taken from the
// current folder, not the application folder.
bool TakeChosenIni(const std::string& file, StartUpPaths& paths) {
  std::error_code error;
  std::filesystem::path path = std::filesystem::absolute(file, error);
  paths.iniPath = error ? file : path.lexically_normal().string();
  std::string content, reason;
  if (ReadWholeFile(paths.iniPath, content, &reason) != FileReadStatus::kRead) {
    ShowMessage(MessageKind::Error, FileReadErrorText(paths.iniPath, reason));
    return false;
  }
  paths.settingsFolder = paths.iniPath.substr(0, paths.iniPath.rfind('/') + 1);
  return true;
}

// What names an instance's log and output folder: "site1" for ".../site1.ini".
std::string InstanceName(const std::string& iniPath) {
  std::string name = iniPath.substr(iniPath.rfind('/') + 1);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

}  // namespace

std::optional<std::string> ChosenIniFile(const std::optional<std::string>& option) {
  if (option) return option;
  const char* env = std::getenv("SKYHARVESTER_CONFIG");
  if (env && *env) return std::string(env);
  return std::nullopt;
}

std::optional<int> StartUp(const StartUpOptions& options, StartUpPaths& paths) {
  paths = StartUpPaths{};
  paths.applicationFolder = WithSlash(options.applicationFolder ? *options.applicationFolder : ApplicationFolder());
  const int failure = options.failuresExitOne ? 1 : 0;

  if (options.iniFile) {
    if (!TakeChosenIni(*options.iniFile, paths)) return failure;
  } else if (auto code = UseSettingsFolder(paths, failure)) {
    return code;
  }

  CIniFile ini(paths.iniPath, true);
  // Read as empty, it would be rewritten with the two defaults alone.
  if (std::string reason; !ini.CheckReadable(&reason)) {
    ShowMessage(MessageKind::Error, FileReadErrorText(paths.iniPath, reason));
    return failure;
  }
  paths.configurationDirectory = ini.GetString("general", "configuration", "");
  if (paths.configurationDirectory.empty() && !paths.applicationFolder.empty()) {
    paths.configurationDirectory = paths.applicationFolder + "Par/";
    ini.WriteString("general", "configuration", paths.configurationDirectory);
  }

  if (options.loadScenarioList) options.loadScenarioList(paths.configurationDirectory);

  // The window ends here without a word; a scheduled tool must say why.
  std::string documents = DocumentsFolder();
  if (documents.empty() || !CreateFolders(documents)) {
    if (options.failuresExitOne)
      ShowMessage(MessageKind::Error, documents.empty() ? std::string("Can't find documents folder")
                                                        : "Can't create documents folder \"" + documents + "\"");
    return failure;
  }
  paths.dataFolder = documents + "SkyHarvester/";
  if (!PrepareFolder(paths.dataFolder)) {
    if (options.failuresExitOne)
      ShowMessage(MessageKind::Error, "Can't create \"SkyHarvester\" directory in documents folder \"" + documents + "\"");
    return failure;
  }

  // Instances of other INIs keep their log and files apart by the INI's name.
  const std::string instance = options.iniFile ? InstanceName(paths.iniPath) : std::string("SkyHarvester");
  paths.logPath = paths.dataFolder + instance + ".log";
  SetLog(new CLogFile(paths.logPath, false));

  if (ini.GetString("automatic", "ascii_path", "").empty()) {
    ini.WriteString("automatic", "ascii_path", paths.dataFolder + (options.iniFile ? instance + "/" : ""));
  }
  return std::nullopt;
}

}  // namespace skyh
