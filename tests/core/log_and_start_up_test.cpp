#include <regex>
#include <thread>

#include "core/folders.h"
#include "core/ini_file.h"
#include "core/log_file.h"
#include "core/start_up.h"
#include "core/text_util.h"
#include "core/user_messages.h"
#include "support/test_common.h"

namespace skyh {
namespace {

TEST(LogFile, LinesAreStampedWholeAndOnlyWrittenWhenOn) {
  test::TempDir dir;
  std::string path = dir / "SkyHarvester.log";
  CLogFile log(path, false);
  log.Log("nothing %d\n", 1);
  EXPECT_FALSE(FileExists(path));

  log.Start(true);
  log.Log("Open media: OK\n");
  log.Log("first\nsecond\n");
  std::vector<std::string> lines = SplitTextLines(test::ReadFile(path));
  ASSERT_EQ(lines.size(), 4u);
  const std::regex stamp(R"(^\d\d/\d\d/\d{4},\d\d:\d\d:\d\d:\d{3}: )");
  EXPECT_NE(lines[0].find("******* Log Started: " + path + "*******"), std::string::npos);
  EXPECT_TRUE(std::regex_search(lines[1], stamp));
  EXPECT_EQ(lines[1].substr(25), "Open media: OK");
  EXPECT_EQ(lines[3], "second");  // one stamp for the whole text

  // Two threads at once give whole lines.
  auto writer = [&](char c) {
    for (int i = 0; i < 200; ++i) log.Log("%s\n", std::string(200, c));
  };
  std::thread a(writer, 'a'), b(writer, 'b');
  a.join();
  b.join();
  lines = SplitTextLines(test::ReadFile(path));
  ASSERT_EQ(lines.size(), 404u);
  for (size_t i = 4; i < lines.size(); ++i)
    EXPECT_TRUE(lines[i].substr(25) == std::string(200, 'a') || lines[i].substr(25) == std::string(200, 'b'));
}

struct RecordingMessages : IUserMessages {
  void Show(MessageKind kind, const std::string& text) override { shown.emplace_back(kind, text); }
  std::vector<std::pair<MessageKind, std::string>> shown;
};

class StartUpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetUserMessages(&messages);
    CreateFolders(home / "app");
  }
  void TearDown() override {
    SetUserMessages(nullptr);
    SetLog(nullptr);
  }
  std::optional<int> Run(StartUpPaths& paths, bool failuresExitOne = false) {
    StartUpOptions options;
    options.failuresExitOne = failuresExitOne;
    options.applicationFolder = home / "app/";
    options.loadScenarioList = [this](const std::string& dir) { scenarioDirs.push_back(dir); };
    return StartUp(options, paths);
  }
  test::TempDir home;
  test::ScopedEnv homeEnv{"HOME", home.path().c_str()};
  test::ScopedEnv xdgConfig{"XDG_CONFIG_HOME", nullptr};
  test::ScopedEnv xdgDocs{"XDG_DOCUMENTS_DIR", nullptr};
  RecordingMessages messages;
  std::vector<std::string> scenarioDirs;
};

TEST_F(StartUpTest, FreshHomeGetsFoldersDefaultsAndLog) {
  StartUpPaths paths;
  ASSERT_FALSE(Run(paths).has_value());
  EXPECT_EQ(paths.settingsFolder, home / ".config/SkyHarvester/");
  CIniFile ini(paths.iniPath, true);
  EXPECT_EQ(ini.GetString("general", "configuration", ""), home / "app/Par/");
  EXPECT_EQ(scenarioDirs, std::vector<std::string>{home / "app/Par/"});

  // An empty ascii_path is replaced at the next start; a set configuration stays.
  ini.WriteString("automatic", "ascii_path", "");
  ini.WriteString("general", "configuration", "/elsewhere/");
  ASSERT_FALSE(Run(paths).has_value());
  EXPECT_EQ(ini.GetString("automatic", "ascii_path", ""), paths.dataFolder);
  EXPECT_EQ(ini.GetString("general", "configuration", ""), "/elsewhere/");
}

TEST_F(StartUpTest, OldIniBesideTheProgramIsMovedUnlessOneIsThere) {
  test::WriteFile(home / "app/SkyHarvester.ini", "[communication]\nport=/dev/ttyS3\n");
  StartUpPaths paths;
  ASSERT_FALSE(Run(paths).has_value());
  EXPECT_FALSE(FileExists(home / "app/SkyHarvester.ini"));
  EXPECT_EQ(CIniFile(paths.iniPath).GetString("communication", "port", ""), "/dev/ttyS3");

  // Both places hold one: the settings folder wins, silently.
  test::WriteFile(home / "app/SkyHarvester.ini", "[communication]\nport=/dev/old\n");
  ASSERT_FALSE(Run(paths).has_value());
  EXPECT_EQ(CIniFile(paths.iniPath).GetString("communication", "port", ""), "/dev/ttyS3");
  EXPECT_TRUE(messages.shown.empty());
}

// Start-up ends: with 0 for the window, 1 for a tool, which says why even
// where the window stays silent.
TEST_F(StartUpTest, FailuresEndStartUpAndAToolAlwaysSaysWhy) {
  StartUpPaths paths;
  auto expectEnd = [&](const std::string& said, bool windowSays) {
    messages.shown.clear();
    EXPECT_EQ(Run(paths), std::optional<int>(0));
    EXPECT_EQ(Run(paths, true), std::optional<int>(1));
    EXPECT_EQ(messages.shown, decltype(messages.shown)(windowSays ? 2 : 1, {MessageKind::Error, said}));
  };
  CreateFolders(home / ".config");
  test::WriteFile(home / ".config/SkyHarvester", "a file in the way");
  expectEnd("Can't create \"SkyHarvester\" directory in roaming folder", true);
  EXPECT_TRUE(scenarioDirs.empty()) << "start-up ended before anything else";
  std::filesystem::remove(home / ".config/SkyHarvester");
  // A settings file that can't be read is never taken for an empty one.
  std::filesystem::create_directories(home / ".config/SkyHarvester/SkyHarvester.ini");
  expectEnd("Can't read \"" + home / ".config/SkyHarvester/SkyHarvester.ini\": is a folder", true);
  std::filesystem::remove(home / ".config/SkyHarvester/SkyHarvester.ini");
  {
    test::ScopedEnv noHome("HOME", "");
    expectEnd("Can't find roaming folder", true);
  }
  test::WriteFile(home / "cfgfile", "x");
  // A disk that is not mounted.
  test::ScopedEnv docs("XDG_DOCUMENTS_DIR", (home.path() + "cfgfile/Documents").c_str());
  expectEnd("Can't create documents folder \"" + home / "cfgfile/Documents/\"", false);
}

TEST_F(StartUpTest, XdgFoldersAreHonoured) {
  test::ScopedEnv config("XDG_CONFIG_HOME", (home.path() + "cfg").c_str());
  CreateFolders(home / "cfg");
  test::WriteFile(home / "cfg/user-dirs.dirs", "# made by hand\nXDG_DOCUMENTS_DIR=\"$HOME/Docs FR\"\n");
  StartUpPaths paths;
  ASSERT_FALSE(Run(paths).has_value());
  EXPECT_EQ(paths.dataFolder, home / "Docs FR/SkyHarvester/");
}

}  // namespace
}  // namespace skyh
