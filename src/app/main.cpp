// skyharvester: the window, and the -ASCII batch conversion.
//
// The batch conversion is chosen before anything of a window system is
// touched, so it runs on a machine without a display.
#include <cstdio>
#include <string>
#include <vector>

#include "core/folders.h"
#include "core/log_file.h"
#include "core/start_up.h"
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

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  skyh::StartUpOptions options;
  // Batch mode has no window to load the list later, and its ASCII files
  // depend on it.
  options.loadScenarioList = [](const std::string& folder) { skyh::GetScenarioList().Load(skyh::WithSlash(folder) + "ScnList.dat"); };
  // "-ASCII" anywhere chooses the batch conversion, which a script runs and
  // must see fail; otherwise every argument is a data file for the window to
  // open (a desktop entry's %F).
  bool batch = false;
  for (const std::string& a : arguments) batch = batch || a == "-ASCII";
  options.failuresExitOne = batch;
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
