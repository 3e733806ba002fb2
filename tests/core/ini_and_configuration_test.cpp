#include <gtest/gtest.h>

#include <thread>

#include "core/configuration.h"
#include "core/ini_file.h"
#include "support/temp_dir.h"

namespace skyh {
namespace {

TEST(Configuration, MissingOrEmptyFileGivesEveryDefault) {
  test::TempDir dir;
  test::WriteFile(dir / "empty.ini", "");
  for (const std::string& path : {dir / "missing.ini", dir / "empty.ini"}) {
    CConfiguration c;
    c.baseName = "changed";
    c.retryCount = 2;
    DebugSettings d;
    d.expert = true;
    LoadConfiguration(path, c, &d);
    // The defaults' values are those the saved file spells out (IniFile.Save...).
    EXPECT_EQ(c, CConfiguration{});
    EXPECT_FALSE(d.expert);
    EXPECT_FALSE(d.disableCloseButton);
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
  EXPECT_EQ(c.retrievalPeriod, 6);
  EXPECT_EQ(c.linkType, kLinkUsb);
  EXPECT_EQ(c.port, "/dev/ttyS1");
  EXPECT_EQ(c.retrieveMaxDays, 1);
  EXPECT_EQ(c.retryCount, 5);
  EXPECT_EQ(c.autoSetTimeMax, 100000);
  EXPECT_EQ(c.autoSetTimeNeedsSync, 0);
  EXPECT_EQ(c.logEnabled, 1);
  test::WriteFile(dir / "sync.ini", "[communication]\nAutoSetTimeNeedsSync=1\n");
  LoadConfiguration(dir / "sync.ini", c);
  EXPECT_EQ(c.autoSetTimeNeedsSync, 1);
  EXPECT_FALSE(d.expert);
  EXPECT_TRUE(d.disableCloseButton);

  for (auto [text, h, m, s] : {std::tuple{"0", 0, 0, 0}, std::tuple{"86399", 23, 59, 59},
                               std::tuple{"45296abc", 12, 34, 56}, std::tuple{"abc", 0, 0, 0}}) {
    test::WriteFile(dir / "s.ini", std::string("[automatic]\nstart=") + text + "\n");
    LoadConfiguration(dir / "s.ini", c);
    EXPECT_EQ(std::tie(c.startHour, c.startMinute, c.startSecond), std::tie(h, m, s)) << text;
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
    EXPECT_EQ(ini.GetString("general", "missing", "d"), "d");
    EXPECT_EQ(ini.GetString("nosection", "x", "d"), "d");
    EXPECT_EQ(ini.GetString("general", "long", ""), longValue.substr(0, 259));
    EXPECT_EQ(ini.GetInt("general", "num", 5), -42);
    EXPECT_EQ(ini.GetInt("general", "plus", 5), 7);
    EXPECT_EQ(ini.GetInt("general", "nodigits", 5), 0);
    EXPECT_EQ(ini.GetInt("general", "empty", 5), 5);
    EXPECT_EQ(ini.GetInt("general", "later", 5), 5);  // the first section of a name is the one read
    EXPECT_EQ(ini.GetIntInRange("general", "num", 3, -42, 0), -42);
    EXPECT_EQ(ini.GetIntInRange("general", "num", 3, -41, 0), 3);
  }
  CIniFile none("", true);
  EXPECT_EQ(none.GetString("a", "b", "d"), "d");
  EXPECT_FALSE(none.WriteString("a", "b", "c"));

  // Binary garbage is no configuration at all, and no crash.
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 7919) & 0xFF);
  test::WriteFile(dir / "bin.ini", garbage);
  CConfiguration c;
  LoadConfiguration(dir / "bin.ini", c);
  EXPECT_EQ(c, CConfiguration{});
}

TEST(IniFile, SaveWritesEveryKeyInOrderAndUpdatesInPlace) {
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

  // Hand edits: a debug section, a foreign key, comments, odd spelling.
  std::string edited = expected;
  edited.insert(0, "; site 12\n[debug]\nexpert=1\n\n");
  edited.replace(edited.find("period=0"), 8, "PERIOD = 3\nforeign=keep me");
  test::WriteFile(path, edited);
  CConfiguration loaded;
  LoadConfiguration(path, loaded);
  EXPECT_EQ(loaded.retrievalPeriod, 3);
  loaded.retrievalPeriod = 5;
  loaded.port = "/dev/ttyUSB0";
  SaveConfiguration(path, loaded);
  std::string after = test::ReadFile(path);
  std::string want = edited;
  want.replace(want.find("PERIOD = 3"), 10, "PERIOD =5");
  want.replace(want.find("port="), 5, "port=/dev/ttyUSB0");
  EXPECT_EQ(after, want);
  // No temporary file is left beside it.
  int files = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.path())) files += e.is_regular_file();
  EXPECT_EQ(files, 1);
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
  std::string p2 = dir / "threads.ini";
  auto writer = [&](const char* section) {
    CIniFile w(p2, true);
    for (int i = 0; i < 50; ++i) w.WriteInt(section, "k" + std::to_string(i), i);
  };
  std::thread t1(writer, "one"), t2(writer, "two");
  t1.join();
  t2.join();
  CIniFile r(p2, true);
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(r.GetInt("one", "k" + std::to_string(i), -1), i);
    EXPECT_EQ(r.GetInt("two", "k" + std::to_string(i), -1), i);
  }
}

}  // namespace
}  // namespace skyh
