#pragma once
// Runs tests of this binary again in a child process under umockdev-run, so
// that libraries that scan sysfs and open device nodes see made-up devices.
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/temp_dir.h"

extern "C" char** environ;

namespace skyh::test {

// True in the child (umockdev's preload is active).
inline bool UnderUmockdev() { return std::getenv("UMOCKDEV_DIR") != nullptr; }

// False also in sanitizer builds, whose runtime must be loaded first.
inline bool UmockdevAvailable() {
#if defined(__SANITIZE_ADDRESS__)
  return false;  // umockdev's preload would come before the AddressSanitizer runtime
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  return false;
#endif
#endif
  return std::system("umockdev-run --help >/dev/null 2>&1") == 0;
}

// The case name in the child.
inline std::string UmockdevCase() {
  const char* value = std::getenv("SKYH_UMOCKDEV_CASE");
  return value ? value : "";
}

// Runs this test binary with `gtestFilter` under umockdev-run with the
// device description `deviceFile` and `SKYH_UMOCKDEV_CASE`=`caseName`;
// returns the child's exit code, -1 when it could not be run.
inline int RunSelfUnderUmockdev(const std::string& deviceFile, const std::string& gtestFilter,
                                const std::string& caseName) {
  std::error_code ec;
  std::string self = std::filesystem::read_symlink("/proc/self/exe", ec), filter = "--gtest_filter=" + gtestFilter;
  std::vector<const char*> argv = {"umockdev-run", "-d",   deviceFile.c_str(), "--", self.c_str(),
                                   filter.c_str(), nullptr};
  ScopedEnv env("SKYH_UMOCKDEV_CASE", caseName.c_str());
  pid_t pid = 0;
  int status = 0;
  if (ec || posix_spawnp(&pid, "umockdev-run", nullptr, nullptr, const_cast<char* const*>(argv.data()), environ) ||
      waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
    return -1;
  return WEXITSTATUS(status);
}

}  // namespace skyh::test
