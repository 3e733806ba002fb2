#pragma once
// The desktop window's entry: kept free of Qt so that the entry point can
// choose the batch mode before anything of a window system is touched.
#include <string>
#include <vector>

#include "core/start_up.h"

namespace skyh::ui {

// Runs the main window until it is closed; `files` are opened at start
// (several load as one Open). Gives the process exit code.
int RunMainWindow(int argc, char** argv, const StartUpPaths& paths, const std::vector<std::string>& files);

}  // namespace skyh::ui
