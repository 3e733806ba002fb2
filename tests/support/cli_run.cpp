#include "support/cli_run.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace skyh::test {

namespace {
std::string Command(const TempDir& home, const std::string& args, const std::string& launcher = "",
                    const CliRunOptions& options = {}) {
  return "exec " + launcher + "env -u SKYHARVESTER_CONFIG XDG_CONFIG_HOME='" + home.path() + "cfg' HOME='" +
         home.path() + "' XDG_DOCUMENTS_DIR='" + home.path() + "Documents' " + options.env + " '" SKYH_BINARY_DIR
         "/src/app/skyharvester-cli' " + args + " </dev/null >'" + home.path() + "out" + options.tag + ".txt' 2>'" +
         home.path() + "err" + options.tag + ".txt'";
}

CliRun Collect(const TempDir& home, int status, const std::string& tag = "") {
  CliRun run;
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = ReadFile(home / ("out" + tag + ".txt"));
  run.err = ReadFile(home / ("err" + tag + ".txt"));
  return run;
}
}  // namespace

std::string CliIniPath(const TempDir& home) { return home / "cfg/SkyHarvester/SkyHarvester.ini"; }

void WriteCliIni(const TempDir& home, const std::string& content) {
  std::filesystem::create_directories(home / "cfg/SkyHarvester");
  WriteFile(CliIniPath(home), content);
}

CliRun RunCli(const TempDir& home, const std::string& args, const CliRunOptions& options) {
  return Collect(home, std::system(Command(home, args, "", options).c_str()), options.tag);
}

CliRun RunCliBoundByPermissions(const TempDir& home, const std::string& args, const CliRunOptions& options) {
  const std::string launcher = geteuid() == 0 ? "setpriv --bounding-set=-dac_override,-dac_read_search " : "";
  return Collect(home, std::system(Command(home, args, launcher, options).c_str()), options.tag);
}

CliRun RunCliWith(const TempDir& home, const std::string& args,
                  const std::function<void(int pid, const std::string& errPath)>& whileRunning) {
  WriteFile(home / "err.txt", "");
  pid_t pid = fork();
  if (pid == 0) {
    execl("/bin/sh", "sh", "-c", Command(home, args).c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  if (whileRunning) whileRunning(pid, home / "err.txt");
  int status = 0;
  waitpid(pid, &status, 0);
  return Collect(home, status);
}

bool WaitForText(const std::string& path, const std::string& text, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    if (ReadFile(path).find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

}  // namespace skyh::test
