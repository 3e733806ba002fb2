#pragma once
// Runs skyharvester-cli as a user would, with its own home and settings
// folder, standard input not a terminal.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

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

// The shell command of a run; `launcher` comes before everything.
inline std::string CliCommand(const TempDir& home, const std::string& args, const std::string& launcher = "",
                              const CliRunOptions& options = {}) {
  return "exec " + launcher + "env -u SKYHARVESTER_CONFIG XDG_CONFIG_HOME='" + home.path() + "cfg' HOME='" +
         home.path() + "' XDG_DOCUMENTS_DIR='" + home.path() + "Documents' " + options.env +
         " '" SKYH_BINARY_DIR "/src/app/skyharvester-cli' " + args + " </dev/null >'" + home.path() + "out" +
         options.tag + ".txt' 2>'" + home.path() + "err" + options.tag + ".txt'";
}

inline CliRun CollectCliRun(const TempDir& home, int status, const std::string& tag = "") {
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(home / ("out" + tag + ".txt")),
          ReadFile(home / ("err" + tag + ".txt"))};
}

// HOME = home, XDG_CONFIG_HOME = home + "cfg", documents in home + "Documents";
// SKYHARVESTER_CONFIG only when `options.env` sets it.
inline CliRun RunCli(const TempDir& home, const std::string& args, const CliRunOptions& options = {}) {
  return CollectCliRun(home, std::system(CliCommand(home, args, "", options).c_str()), options.tag);
}

// The same for a user whom file permissions bind: run as root, the tool gives
// up the capabilities that override them, so a read-only folder is read-only.
inline CliRun RunCliBoundByPermissions(const TempDir& home, const std::string& args,
                                       const CliRunOptions& options = {}) {
  const std::string launcher = geteuid() == 0 ? "setpriv --bounding-set=-dac_override,-dac_read_search " : "";
  return CollectCliRun(home, std::system(CliCommand(home, args, launcher, options).c_str()), options.tag);
}

// The same, started in the background; `whileRunning` is called with the
// process id and the path of its stderr file, then the run is awaited.
inline CliRun RunCliWith(const TempDir& home, const std::string& args,
                         const std::function<void(int pid, const std::string& errPath)>& whileRunning) {
  WriteFile(home / "err.txt", "");
  const pid_t pid = fork();
  if (pid == 0) {
    execl("/bin/sh", "sh", "-c", CliCommand(home, args).c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  if (whileRunning) whileRunning(pid, home / "err.txt");
  int status = 0;
  waitpid(pid, &status, 0);
  return CollectCliRun(home, status);
}

// The INI of that home: written whole.
inline std::string CliIniPath(const TempDir& home) { return home / "cfg/SkyHarvester/SkyHarvester.ini"; }
inline void WriteCliIni(const TempDir& home, const std::string& content) {
  std::filesystem::create_directories(home / "cfg/SkyHarvester");
  WriteFile(CliIniPath(home), content);
}

// Polls a file until it holds `text` or `timeoutMs` pass; true when found.
inline bool WaitForText(const std::string& path, const std::string& text, int timeoutMs = 20000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (; std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(std::chrono::milliseconds(20)))
    if (ReadFile(path).find(text) != std::string::npos) return true;
  return false;
}

}  // namespace skyh::test
