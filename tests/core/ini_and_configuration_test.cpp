// INI files and the configuration: semantics, saving, and files that cannot be read,
// links and byte-order marks (nothing lost, nothing blocks, nothing thrown).
#include <sys/stat.h>
#include <unistd.h>
#include <thread>

#include "core/configuration.h"
#include "core/file_read.h"
#include "core/folders.h"
#include "core/ini_file.h"
#include "support/test_common.h"

namespace skyh {
namespace {

namespace fs = std::filesystem;

// Binary garbage too is no configuration at all, and no crash.
TEST(Configuration, MissingEmptyOrGarbageFileGivesEveryDefault) {
  test::TempDir dir;
  test::WriteFile(dir / "empty.ini", "");
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 7919) & 0xFF);
  test::WriteFile(dir / "bin.ini", garbage);
  for (const std::string& path : {dir / "missing.ini", dir / "empty.ini", dir / "bin.ini"}) {
    CConfiguration c;
    c.baseName = "changed";
    DebugSettings d;
    d.expert = true;
    LoadConfiguration(path, c, &d);
    // The defaults' values are those the saved file spells out (IniFile.Save...).
    EXPECT_EQ(c, CConfiguration{});
    EXPECT_FALSE(d.expert);
  }
}

TEST(Configuration, OutOfRangeValuesFallBackPerKey) {
  test::TempDir dir;
  test::WriteFile(dir / "c.ini",
                  "[automatic]\nstart=86400\nperiod=6\n[communication]\ntype=3\nport=/dev/ttyS1\n"
                  "retrieve_max_days=31\nretry=0\nAutoSetTimeMax=100000\nAutoSetTimeNeedsSync=2\nlog=1\n[debug]\nexpert=2\n"
                  "DisableCloseButton=1\n");
  CConfiguration c;
  DebugSettings d;
  LoadConfiguration(dir / "c.ini", c, &d);
  EXPECT_EQ(c.StartSeconds(), 32400);
  EXPECT_EQ(c.linkType, kLinkUsb);
  EXPECT_EQ(c.retrieveMaxDays, 1);
  EXPECT_EQ(c.retryCount, 5);
  EXPECT_EQ(c.autoSetTimeMax, 100000);
  EXPECT_EQ(c.autoSetTimeNeedsSync, 0);
  EXPECT_FALSE(d.expert);
  EXPECT_TRUE(d.disableCloseButton);

  for (auto [text, h, m, s] : {std::tuple{"0", 0, 0, 0}, std::tuple{"86399", 23, 59, 59},
                               std::tuple{"45296abc", 12, 34, 56}, std::tuple{"abc", 0, 0, 0}}) {
    test::WriteFile(dir / "s.ini",
                    std::string("[automatic]\nstart=") + text + "\n[communication]\nAutoSetTimeNeedsSync=1\n");
    LoadConfiguration(dir / "s.ini", c);
    EXPECT_EQ(std::tie(c.startHour, c.startMinute, c.startSecond, c.autoSetTimeNeedsSync), std::tuple(h, m, s, 1));
  }
}

TEST(IniFile, ProfileSemanticsForReads) {
  test::TempDir dir;
  std::string longValue(300, 'x');
  test::WriteFile(dir / "crlf.ini",
                  "; comment\r\n[General]\r\n  Configuration =  /opt/par/  \r\nquoted=\"a b\"\r\nempty=\r\n"
                  "long=" + longValue + "\r\nnum= -42xyz\r\nplus=+7\r\nnodigits=abc\r\n[general]\r\nlater=1\r\n");
  std::string lf = test::ReadFile(dir / "crlf.ini");
  lf.erase(std::remove(lf.begin(), lf.end(), '\r'), lf.end());
  test::WriteFile(dir / "lf.ini", lf);
  for (const std::string& path : {dir / "crlf.ini", dir / "lf.ini"}) {
    CIniFile ini(path, true);
    EXPECT_EQ(ini.GetString("general", "configuration", "d"), "/opt/par/");
    EXPECT_EQ(ini.GetString("GENERAL", "QUOTED", "d"), "a b");
    EXPECT_EQ(ini.GetString("general", "empty", "d"), "d");
    EXPECT_EQ(ini.GetString("general", "long", ""), longValue.substr(0, 259));
    EXPECT_EQ(ini.GetInt("general", "num", 5), -42);
    EXPECT_EQ(ini.GetInt("general", "plus", 5), 7);
    EXPECT_EQ(ini.GetInt("general", "nodigits", 5), 0);
    EXPECT_EQ(ini.GetInt("general", "later", 5), 5);  // the first section of a name is the one read
    EXPECT_EQ(ini.GetIntInRange("general", "num", 3, -42, 0), -42);
    EXPECT_EQ(ini.GetIntInRange("general", "num", 3, -41, 0), 3);
  }
  CIniFile none("", true);
  EXPECT_EQ(none.GetString("a", "b", "d"), "d");
  EXPECT_FALSE(none.WriteString("a", "b", "c"));
}

TEST(IniFile, SaveWritesEveryKeyInOrder) {
  test::TempDir dir;
  std::string path = dir / "SkyHarvester.ini";
  test::WriteFile(path, "");
  CConfiguration c;
  c.configurationDirectory = "/par/";
  c.outputDirectory = "/out/";
  c.SetStartSeconds(3661);
  SaveConfiguration(path, c);
  const std::string expected =
      "[general]\nconfiguration=/par/\n"
      "[automatic]\nenable=0\nperiod=0\nday=1\nascii_path=/out/\nRecPeriod=0\nstart=3661\nk8=1\nascii=1\n"
      "basename=SP%VERS%_%HEAD%\n"
      "[communication]\ntype=0\nport=\nphone_number=\nlog=0\nretrieve_missing=1\nretrieve_limited=1\n"
      "retrieve_max_days=1\nretry=5\nAutoSetTime=0\nAutoSetTimeMax=10\nViewUnknown=0\n"
      "AutoSetTimeNeedsSync=0\n";
  EXPECT_EQ(test::ReadFile(path), expected);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << "no temporary file left";
}

TEST(IniFile, WritesCreateSectionsKeepLineEndsAndSurviveConcurrentWriters) {
  test::TempDir dir;
  std::string path = dir / "w.ini";
  test::WriteFile(path, "[a]\r\nx=1\r\n");
  CIniFile ini(path, true);
  ini.WriteString("a", "y", "2");
  ini.WriteString("B", "z", "3");
  ini.WriteString("a", "X", "one\nline");
  EXPECT_EQ(test::ReadFile(path), "[a]\r\nx=one\r\ny=2\r\n[B]\r\nz=3\r\n");

  // Two threads writing their own keys never lose each other's values.
  auto writer = [&](const char* section) {
    CIniFile w(path, true);
    for (int i = 0; i < 50; ++i) w.WriteInt(section, "k" + std::to_string(i), i);
  };
  std::thread t1(writer, "one"), t2(writer, "two");
  t1.join();
  t2.join();
  for (int i = 0; i < 50; ++i)
    for (const char* section : {"one", "two"}) EXPECT_EQ(ini.GetInt(section, "k" + std::to_string(i), -1), i);
}

TEST(ReadWholeFile, ReadsRegularFilesAndRefusesEverythingElseWithoutBlocking) {
  test::TempDir dir;
  test::WriteFile(dir / "a.txt", std::string("one\r\n\0two\n", 10));
  std::string text, reason;
  EXPECT_EQ(ReadWholeFile(dir / "a.txt", text, &reason), FileReadStatus::kRead);
  EXPECT_EQ(text, std::string("one\r\n\0two\n", 10));

  EXPECT_EQ(ReadWholeFile(dir / "a.txt/below", text, &reason), FileReadStatus::kMissing);

  // Opening a pipe nobody writes to would wait for ever.
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);
  std::vector<uint8_t> bytes;
  EXPECT_EQ(ReadWholeFile(dir / "pipe", bytes, &reason), FileReadStatus::kNotAFile);
  EXPECT_EQ(reason, "is not a regular file");
  EXPECT_EQ(FileReadErrorText("/x/y", reason), "Can't read \"/x/y\": is not a regular file");

  if (::geteuid() != 0) {  // root reads anything
    ::chmod((dir / "a.txt").c_str(), 0);
    EXPECT_EQ(ReadWholeFile(dir / "a.txt", text, &reason), FileReadStatus::kFailed);
  }
}

TEST(IniFile, AFileThatCannotBeReadIsNeverRewritten) {
  test::TempDir dir;
  fs::create_directory(dir / "SkyHarvester.ini");  // in place of the file
  CIniFile folder(dir / "SkyHarvester.ini");
  std::string reason;
  EXPECT_FALSE(folder.CheckReadable(&reason));
  EXPECT_EQ(reason, "is a folder");
  EXPECT_EQ(folder.GetString("general", "configuration", "def"), "def");
  EXPECT_FALSE(folder.WriteString("general", "configuration", "/x/"));
  EXPECT_TRUE(IsDirectory(dir / "SkyHarvester.ini"));

  EXPECT_TRUE(CIniFile(dir / "missing.ini").CheckReadable());
  if (::geteuid() != 0) {
    const std::string content = "[general]\nconfiguration=/par/\n[head_0012]\nlast=21/03/01 12:00:00\n";
    test::WriteFile(dir / "locked.ini", content);
    ::chmod((dir / "locked.ini").c_str(), 0);
    CIniFile locked(dir / "locked.ini");
    EXPECT_FALSE(locked.CheckReadable());
    EXPECT_FALSE(locked.WriteString("automatic", "ascii_path", "/data/"));
    ::chmod((dir / "locked.ini").c_str(), 0644);
    EXPECT_EQ(test::ReadFile(dir / "locked.ini"), content);
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1)
      << "no temporary file left behind";
}

TEST(IniFile, ALinkStaysALinkAndItsTargetIsReplacedInItsOwnFolder) {
  test::TempDir dir;
  fs::create_directories(dir / "real");
  fs::create_directories(dir / "settings");
  test::WriteFile(dir / "real/site.ini", "[general]\nconfiguration=/par/\n");
  // A relative link, through a second link.
  fs::create_symlink("../real/site.ini", dir / "settings/middle.ini");
  fs::create_symlink("middle.ini", dir / "settings/SkyHarvester.ini");
  CIniFile ini(dir / "settings/SkyHarvester.ini");
  ASSERT_TRUE(ini.WriteString("automatic", "ascii_path", "/data/"));
  EXPECT_TRUE(fs::is_symlink(dir / "settings/SkyHarvester.ini") && fs::is_symlink(dir / "settings/middle.ini"));
  EXPECT_EQ(test::ReadFile(dir / "real/site.ini"), "[general]\nconfiguration=/par/\n[automatic]\nascii_path=/data/\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "real"), fs::directory_iterator()), 1);
  EXPECT_EQ(ResolveSymlinks(dir / "settings/SkyHarvester.ini"), dir / "settings/../real/site.ini");

  // A link to nowhere yet: the target is made.
  fs::create_symlink(dir / "real/new.ini", dir / "settings/dangling.ini");
  ASSERT_TRUE(CIniFile(dir / "settings/dangling.ini").WriteString("a", "b", "c"));
  EXPECT_TRUE(fs::is_symlink(dir / "settings/dangling.ini"));
  EXPECT_EQ(test::ReadFile(dir / "real/new.ini"), "[a]\nb=c\n");

  // A loop cannot be written.
  fs::create_symlink("loop2.ini", dir / "settings/loop1.ini");
  fs::create_symlink("loop1.ini", dir / "settings/loop2.ini");
  EXPECT_FALSE(CIniFile(dir / "settings/loop1.ini").WriteString("a", "b", "c"));
}

TEST(IniFile, AByteOrderMarkIsSkippedWhenReadAndKeptWhenRewritten) {
  test::TempDir dir;
  const std::string bom = "\xEF\xBB\xBF";
  test::WriteFile(dir / "w.ini", bom + "[general]\r\nconfiguration=C:\\Par\\\r\n[automatic]\r\nk8=0\r\n");
  CIniFile ini(dir / "w.ini");
  EXPECT_EQ(ini.GetString("general", "configuration", ""), "C:\\Par\\");
  ASSERT_EQ(ini.GetSection("general").size(), 1u);
  ASSERT_TRUE(ini.WriteStrings({{"general", "configuration", "/par/"}, {"automatic", "k8", "1"}}));
  EXPECT_EQ(test::ReadFile(dir / "w.ini"), bom + "[general]\r\nconfiguration=/par/\r\n[automatic]\r\nk8=1\r\n");

  std::vector<std::pair<std::string, std::string>> entries;
  EXPECT_TRUE(ParseIniSection(bom + "[Settings]\nGain=9\n", "settings", entries));
  EXPECT_EQ(entries, (std::vector<std::pair<std::string, std::string>>{{"Gain", "9"}}));
  EXPECT_FALSE(ParseIniSection("[Other]\nGain=9\n", "Settings", entries));
  EXPECT_TRUE(entries.empty());
}

}  // namespace
}  // namespace skyh
