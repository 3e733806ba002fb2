// The skyharvester executable in -ASCII mode, started as a user would start
// it, without any display.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "support/temp_dir.h"

namespace skyh::test {
namespace {

std::string Quote(const std::string& s) { return "'" + s + "'"; }

// A settings record with version 81 00 01 00, then one record of each layout
// and one unknown record: type, length, time (2014-07-01), body, FE, length.
const char kDataFile[] =
    "\x7C\x10\x00\x00\x00\x00\x00\x81\x00\x01\x00\x02\x0E\xFE\x10\x00"
    "\x1A\x0C\x00\x00\x00\x42\x38\x05\x06\xFE\x0C\x00"
    "\x55\x0B\x00\x00\x00\x00\x00\xAB\xFE\x0B\x00";

TEST(SkyharvesterBatchTest, ConvertsWithoutADisplayUsingTheConfiguredLayouts) {
  TempDir dir;
  std::filesystem::create_directories(dir / "config/SkyHarvester");
  std::filesystem::create_directories(dir / "par");
  std::filesystem::create_directories(dir / "in");
  WriteFile(dir / "config/SkyHarvester/SkyHarvester.ini", "[general]\nconfiguration=" + (dir / "par/") + "\n");
  WriteFile(dir / "par/ScnList.dat", "S:1,0x1A,MEAS,Measurement,0\r\nE:VAL_BYTE,7\r\nE:VAL_BYTE,8\r\n");
  WriteFile(dir / "in/Site A.K8", std::string(kDataFile, sizeof kDataFile - 1));

  std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY HOME=" + Quote(dir.path()) +
                        " XDG_CONFIG_HOME=" + Quote(dir / "config") + " XDG_DOCUMENTS_DIR=" + Quote(dir / "docs") +
                        " " + Quote(std::string(SKYH_BINARY_DIR) + "/src/main/skyharvester") + " -ASCII " +
                        Quote(dir / "in/Site A.K8") + " -ASCII " + Quote(dir / "in/missing.k8") + " >" +
                        Quote(dir / "out.txt") + " 2>" + Quote(dir / "err.txt");
  int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status)) << ReadFile(dir / "err.txt");
  EXPECT_EQ(WEXITSTATUS(status), 1) << "one input could not be converted";
  EXPECT_EQ(ReadFile(dir / "err.txt"), "Error, can't open " + (dir / "in/missing.k8") + "\n");

  EXPECT_EQ(ReadFile(dir / "in/site a.MEAS"), "5,6\r\n");
  EXPECT_EQ(ReadFile(dir / "in/site a.---"), "Unknown: \"550B0000000000ABFE0B00\"\r\n");
  std::string log = ReadFile(dir / "docs/SkyHarvester/SkyHarvester.log");
  EXPECT_NE(log.find("SkyHarvester started from command line\n"), std::string::npos);
  EXPECT_NE(log.find("Command line (4 params): "), std::string::npos);
  EXPECT_NE(log.find(": Error, can't open " + (dir / "in/missing.k8") + "\n"), std::string::npos)
      << "the log line stays as it was";

  // Every input converted: exit code 0, nothing on stderr.
  const std::string good = "env -u DISPLAY -u WAYLAND_DISPLAY HOME=" + Quote(dir.path()) +
                           " XDG_CONFIG_HOME=" + Quote(dir / "config") + " XDG_DOCUMENTS_DIR=" +
                           Quote(dir / "docs") + " " + Quote(std::string(SKYH_BINARY_DIR) + "/src/main/skyharvester") +
                           " -ASCII " + Quote(dir / "in/Site A.K8") + " 2>" + Quote(dir / "err.txt");
  status = std::system(good.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << ReadFile(dir / "err.txt");
  EXPECT_EQ(ReadFile(dir / "err.txt"), "");
}

TEST(SkyharvesterBatchTest, ADamagedFileIsConvertedUpToTheDamageAndSaysSo) {
  TempDir dir;
  std::filesystem::create_directories(dir / "config/SkyHarvester");
  std::filesystem::create_directories(dir / "par");
  WriteFile(dir / "config/SkyHarvester/SkyHarvester.ini", "[general]\nconfiguration=" + (dir / "par/") + "\n");
  WriteFile(dir / "par/ScnList.dat", "S:1,0x1A,MEAS,Measurement,0\r\nE:VAL_BYTE,7\r\nE:VAL_BYTE,8\r\n");
  std::string bytes(kDataFile, sizeof kDataFile - 1);
  bytes[29] = 0x0C;  // the unknown record's length no longer matches its end
  WriteFile(dir / "site.k8", bytes);

  std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY HOME=" + Quote(dir.path()) +
                        " XDG_CONFIG_HOME=" + Quote(dir / "config") + " XDG_DOCUMENTS_DIR=" + Quote(dir / "docs") +
                        " " + Quote(std::string(SKYH_BINARY_DIR) + "/src/main/skyharvester") + " -ASCII " +
                        Quote(dir / "site.k8") + " >" + Quote(dir / "out.txt") + " 2>" + Quote(dir / "err.txt");
  int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status)) << ReadFile(dir / "err.txt");
  const std::string said = dir / "site.k8: damaged at byte 28: 1 records read, 11 bytes not read\n";
  EXPECT_EQ(ReadFile(dir / "err.txt"), said);
  EXPECT_NE(ReadFile(dir / "docs/SkyHarvester/SkyHarvester.log").find(said), std::string::npos);
  EXPECT_EQ(ReadFile(dir / "site.MEAS"), "5,6\r\n");
}

}  // namespace
}  // namespace skyh::test
