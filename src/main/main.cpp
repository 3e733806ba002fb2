// skyharvester: the window, and the -ASCII batch conversion.
//
// The batch conversion is chosen before anything of a window system is
// touched, so it runs on a machine without a display.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/folders.h"
#include "core/log_file.h"
#include "core/start_up.h"
#include "core/version.h"
#include "data/batch_conversion.h"
#include "records/scenario_list.h"
#ifdef SKYH_WITH_UI
#include "ui/run_window.h"
#endif

namespace {

// The command line as one text, for the log.
std::string JoinArguments(const std::vector<std::string>& arguments) {
  std::string text;
  for (const std::string& a : arguments) {
    if (!text.empty()) text += ' ';
    text += a.find(' ') != std::string::npos ? "\"" + a + "\"" : a;
  }
  return text;
}

// --help and --version answer before start-up and before any window system,
// so they work without a display (the manual page is made from them).
bool PrintInformation(int argc, char** argv) {
  if (argc != 2) return false;
  if (std::strcmp(argv[1], "--version") == 0) {
    std::printf("skyharvester %d.%d.%d\n", skyh::kVersionMajor, skyh::kVersionMinor, skyh::kVersionRevision);
    return true;
  }
  if (std::strcmp(argv[1], "--help") != 0 && std::strcmp(argv[1], "-h") != 0) return false;
  std::printf(
      "Usage: skyharvester [FILE.k8 ...]\n"
      "       skyharvester -ASCII FILE.k8 [-ASCII FILE.k8 ...]\n"
      "Retrieves, shows and exports the records of a sun photometer's control box.\n"
      "\n"
      "With no argument the window opens; with K8 data files it opens them together.\n"
      "\n"
      "Options:\n"
      "  -ASCII FILE.k8   convert FILE.k8 to one ASCII file per record type, beside it,\n"
      "                   without a window or display; may be repeated\n"
      "  -h, --help       show this text\n"
      "  --version        show the version\n"
      "\n"
      "Environment:\n"
      "  SKYHARVESTER_CONFIG  an INI file to use instead of SkyHarvester.ini\n");
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (PrintInformation(argc, argv)) return 0;
  std::vector<std::string> arguments(argv + 1, argv + argc);
  skyh::StartUpOptions options;
  // Batch mode has no window to load the list later, and its ASCII files
  // depend on it.
  options.loadScenarioList = [](const std::string& folder) {
    skyh::GetScenarioList().Load(skyh::WithSlash(folder) + "ScnList.dat");
  };
  // "-ASCII" anywhere chooses the batch conversion, which a script runs and
  // must see fail; otherwise every argument is a data file for the window to
  // open (a desktop entry's %F).
  bool batch = false;
  for (const std::string& a : arguments) batch = batch || a == "-ASCII";
  options.failuresExitOne = batch;
  // One instance per instrument, as skyharvester-cli --config.
  options.iniFile = skyh::ChosenIniFile(std::nullopt);
  skyh::StartUpPaths paths;
  if (auto code = skyh::StartUp(options, paths)) return *code;

  if (batch) {
    int code = skyh::RunBatchConversion(arguments, JoinArguments(arguments));
    skyh::SetLog(nullptr);
    return code;
  }
#ifdef SKYH_WITH_UI
  int code = skyh::ui::RunMainWindow(argc, argv, paths, arguments);
#else
  std::fprintf(stderr, "This build has no window; use skyharvester-cli.\n");
  int code = 0;
#endif
  skyh::SetLog(nullptr);
  return code;
}
