// The skyharvester executable in -ASCII mode, started as a user would start
// it, without any display.
#include <sys/wait.h>

#include <cstdlib>

#include "support/test_common.h"

namespace skyh::test {
namespace {

std::string Quote(const std::string& s) { return "'" + s + "'"; }

// A settings record with version 81 00 01 00, then one record of each layout
// and one unknown record: type, length, time (2014-07-01), body, FE, length.
const char kDataBytes[] =
    "\x7C\x10\x00\x00\x00\x00\x00\x81\x00\x01\x00\x02\x0E\xFE\x10\x00"
    "\x1A\x0C\x00\x00\x00\x42\x38\x05\x06\xFE\x0C\x00"
    "\x55\x0B\x00\x00\x00\x00\x00\xAB\xFE\x0B\x00";
const std::string kDataFile(kDataBytes, sizeof kDataBytes - 1);

// Only the file after each "-ASCII" converts, named in lower case without
// ".k8" beside it (the folder's name as it is); every failure says why.
TEST(SkyharvesterBatchTest, ConvertsWithoutADisplayUsingTheConfiguredLayouts) {
  // A home whose configuration names the layouts; the window's executable run
  // in it gives its exit code, its stderr in err.txt.
  TempDir dir;
  std::filesystem::create_directories(dir / "config/SkyHarvester");
  std::filesystem::create_directories(dir / "par");
  WriteFile(dir / "config/SkyHarvester/SkyHarvester.ini", "[general]\nconfiguration=" + (dir / "par/") + "\n");
  WriteFile(dir / "par/ScnList.dat", "S:1,0x1A,MEAS,Measurement,0\r\nE:VAL_BYTE,7\r\nE:VAL_BYTE,8\r\n");
  auto run = [&](const std::string& args) {
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY HOME=" + Quote(dir.path()) +
                                " XDG_CONFIG_HOME=" + Quote(dir / "config") +
                                " XDG_DOCUMENTS_DIR=" + Quote(dir / "docs") + " " +
                                Quote(std::string(SKYH_BINARY_DIR) + "/src/main/skyharvester") + args + " >" +
                                Quote(dir / "out.txt") + " 2>" + Quote(dir / "err.txt");
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  std::filesystem::create_directory(dir / "Run.K8x");
  const std::string first = dir / "Run.K8x/Site A.K8", second = dir / "second.k8";
  const std::string missing = dir / "missing.k8", notData = dir / "notdata.k8";
  WriteFile(first, kDataFile);
  WriteFile(second, kDataFile);
  WriteFile(notData, "hello");
  EXPECT_EQ(run(" -ASCII " + Quote(missing) + " -ASCII " + Quote(first) + " -ascii " + Quote(second) + " -ASCII " +
                Quote(notData) + " x -ASCII"),
            1);
  const std::string err = ReadFile(dir / "err.txt");
  EXPECT_EQ(err.find("Error, can't open " + missing + "\n"), 0u) << err;
  EXPECT_NE(err.find("Error, can't open " + notData + "\n"), std::string::npos) << err;
  EXPECT_EQ(ReadFile(dir / "Run.K8x/site a.MEAS"), "5,6\r\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "second.MEAS"));  // after "-ascii"
  const std::string log = ReadFile(dir / "docs/SkyHarvester/SkyHarvester.log");
  EXPECT_NE(log.find("SkyHarvester started from command line\n"), std::string::npos);
  EXPECT_NE(log.find("Command line (10 params): "), std::string::npos);
  EXPECT_NE(log.find(": Error, can't open " + missing + "\n"), std::string::npos) << "the log line stays as it was";

  // Every input converted, a quoted name too: exit code 0, nothing on stderr.
  EXPECT_EQ(run(" -ASCII " + Quote("\"" + second + "\"")), 0) << ReadFile(dir / "err.txt");
  EXPECT_EQ(ReadFile(dir / "err.txt"), "");
  EXPECT_EQ(ReadFile(dir / "second.MEAS"), "5,6\r\n");
}

}  // namespace
}  // namespace skyh::test
