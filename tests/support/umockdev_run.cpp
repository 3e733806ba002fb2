#include "support/umockdev_run.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "support/temp_dir.h"

extern "C" char** environ;

namespace skyh::test {

bool UnderUmockdev() { return std::getenv("UMOCKDEV_DIR") != nullptr; }

bool UmockdevAvailable() {
#if defined(__SANITIZE_ADDRESS__)
  return false;  // umockdev's preload would come before the AddressSanitizer runtime
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  return false;
#endif
#endif
  return std::system("umockdev-run --help >/dev/null 2>&1") == 0;
}

std::string UmockdevCase() {
  const char* value = std::getenv("SKYH_UMOCKDEV_CASE");
  return value ? value : "";
}

int RunSelfUnderUmockdev(const std::string& deviceFile, const std::string& gtestFilter,
                         const std::string& caseName) {
  std::error_code ec;
  std::string self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return -1;
  std::vector<std::string> args = {"umockdev-run", "-d", deviceFile, "--", self,
                                   "--gtest_filter=" + gtestFilter};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  ScopedEnv env("SKYH_UMOCKDEV_CASE", caseName.c_str());
  pid_t pid = 0;
  if (posix_spawnp(&pid, "umockdev-run", nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace skyh::test
