#pragma once
// Runs skyharvester-cli as a user would, with its own home and settings
// folder, standard input not a terminal.
#include <functional>
#include <string>

#include "support/temp_dir.h"

namespace skyh::test {

struct CliRun {
  int exitCode = -1;
  std::string out, err;
};

struct CliRunOptions {
  std::string env;  // more environment before the program: "NAME='value' ..."
  std::string tag;  // output in out<tag>.txt and err<tag>.txt, so that runs may overlap
};

// HOME = home, XDG_CONFIG_HOME = home + "cfg", documents in home + "Documents";
// SKYHARVESTER_CONFIG only when `options.env` sets it.
CliRun RunCli(const TempDir& home, const std::string& args, const CliRunOptions& options = {});

// The same for a user whom file permissions bind: run as root, the tool gives
// up the capabilities that override them, so a read-only folder is read-only.
CliRun RunCliBoundByPermissions(const TempDir& home, const std::string& args, const CliRunOptions& options = {});

// The same, started in the background; `whileRunning` is called with the
// process id and the path of its stderr file, then the run is awaited.
CliRun RunCliWith(const TempDir& home, const std::string& args,
                  const std::function<void(int pid, const std::string& errPath)>& whileRunning);

// The INI of that home: written whole.
void WriteCliIni(const TempDir& home, const std::string& content);
std::string CliIniPath(const TempDir& home);

// Polls a file until it holds `text` or `timeoutMs` pass; true when found.
bool WaitForText(const std::string& path, const std::string& text, int timeoutMs = 20000);

}  // namespace skyh::test
