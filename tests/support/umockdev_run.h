#pragma once
// Runs tests of this binary again in a child process under umockdev-run, so
// that libraries that scan sysfs and open device nodes see made-up devices.
#include <string>

namespace skyh::test {

// True in the child (umockdev's preload is active).
bool UnderUmockdev();
// False also in sanitizer builds, whose runtime must be loaded first.
bool UmockdevAvailable();
// Runs this test binary with `gtestFilter` under umockdev-run with the
// device description `deviceFile` and `SKYH_UMOCKDEV_CASE`=`caseName`;
// returns the child's exit code, -1 when it could not be run.
int RunSelfUnderUmockdev(const std::string& deviceFile, const std::string& gtestFilter,
                         const std::string& caseName);
// The case name in the child.
std::string UmockdevCase();

}  // namespace skyh::test
