// Files that cannot be read, links and byte-order marks: nothing is lost,
// nothing blocks, nothing is thrown.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "core/file_read.h"
#include "core/folders.h"
#include "core/ini_file.h"
#include "core/text_util.h"
#include "support/temp_dir.h"

namespace skyh {
namespace {

namespace fs = std::filesystem;

TEST(ReadWholeFile, ReadsRegularFilesAndRefusesEverythingElseWithoutBlocking) {
  test::TempDir dir;
  test::WriteFile(dir / "a.txt", std::string("one\r\n\0two\n", 10));
  std::string text, reason;
  EXPECT_EQ(ReadWholeFile(dir / "a.txt", text, &reason), FileReadStatus::kRead);
  EXPECT_EQ(text, std::string("one\r\n\0two\n", 10));

  EXPECT_EQ(ReadWholeFile(dir / "missing", text, &reason), FileReadStatus::kMissing);
  EXPECT_EQ(ReadWholeFile(dir / "a.txt/below", text, &reason), FileReadStatus::kMissing);

  fs::create_directory(dir / "folder");
  text = "old";
  EXPECT_EQ(ReadWholeFile(dir / "folder", text, &reason), FileReadStatus::kNotAFile);
  EXPECT_EQ(reason, "is a folder");
  EXPECT_EQ(text, "");

  // Opening a pipe nobody writes to would wait for ever.
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);
  std::vector<uint8_t> bytes;
  EXPECT_EQ(ReadWholeFile(dir / "pipe", bytes, &reason), FileReadStatus::kNotAFile);
  EXPECT_EQ(reason, "is not a regular file");
  EXPECT_EQ(FileReadErrorText("/x/y", reason), "Can't read \"/x/y\": is not a regular file");

  std::vector<std::string> lines{"kept"};
  EXPECT_FALSE(ReadTextLines(dir / "folder", lines));
  EXPECT_FALSE(ReadTextLines(dir / "pipe", lines));
  ASSERT_TRUE(ReadTextLines(dir / "a.txt", lines));
  EXPECT_EQ(lines.size(), 2u);

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
  EXPECT_TRUE(fs::is_symlink(dir / "settings/SkyHarvester.ini"));
  EXPECT_TRUE(fs::is_symlink(dir / "settings/middle.ini"));
  EXPECT_EQ(test::ReadFile(dir / "real/site.ini"),
            "[general]\nconfiguration=/par/\n[automatic]\nascii_path=/data/\n");
  EXPECT_EQ(ini.GetString("automatic", "ascii_path", ""), "/data/");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "real"), fs::directory_iterator()), 1);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "settings"), fs::directory_iterator()), 2);
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
