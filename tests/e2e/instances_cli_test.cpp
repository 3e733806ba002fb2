// Several instruments on one computer: skyharvester-cli with one INI per
// instrument (--config, SKYHARVESTER_CONFIG), each instance on its own port.
#include <signal.h>
#include <sys/stat.h>

#include "core/ini_file.h"
#include "demo_instrument.h"
#include "sim_pty_bridge.h"
#include "support/test_common.h"

namespace skyh {
namespace {

using test::Has;

// A demo box of instrument `number`.
auto Demo(uint16_t number, int days) {
  return [=](sim::ControlBox& box) { sim::GenerateDemoMemory({0, days, 20, 7, number}, box.memory()); };
}

TEST(SeveralInstruments, TwoInstancesOnTwoPortsRunSideBySideAndOnePortStaysExclusive) {
  // The answer delay keeps a walk going for a few seconds, long enough for
  // other instances to run meanwhile.
  const sim::BoxOptions slow = test::BoxWith([](auto& o) { o.faults.answerDelayMs = 15; });
  test::SimPtyBridge one(slow, Demo(1234, 3)), two(slow, Demo(5678, 2));
  ASSERT_TRUE(one.ok() && two.ok());
  test::TempDir home;
  std::filesystem::create_directories(home / "etc");
  const char* ports[] = {one.Path().c_str(), two.Path().c_str(), one.Path().c_str()};  // site3 on site1's port
  for (int i = 0; i < 3; ++i)
    test::WriteFile(home / ("etc/site" + std::to_string(i + 1) + ".ini"),
                    test::DemoIni(ports[i], "retrieve_limited=0\n"));

  // site1 is stopped in the middle of its walk, holding its port; site2 runs
  // whole meanwhile, and site3 on site1's port is turned away.
  test::CliRun second, third;
  test::CliRun first =
      test::RunCliWith(home, "retrieve --config " + home / "etc/site1.ini", [&](int pid, const std::string& err) {
        if (!test::WaitForText(err, "Received blocks: ")) {
          ADD_FAILURE() << "site1 never started its walk";
          return;
        }
        kill(pid, SIGSTOP);
        second = test::RunCli(home, "--config " + home / "etc/site2.ini retrieve", {"", "2"});
        third = test::RunCli(home, "retrieve", {"SKYHARVESTER_CONFIG='" + home / "etc/site3.ini'", "3"});
        kill(pid, SIGCONT);
      });
  ASSERT_EQ(first.exitCode, 0) << first.err;
  ASSERT_EQ(second.exitCode, 0) << second.err;
  EXPECT_EQ(third.exitCode, 1) << third.err;
  EXPECT_TRUE(Has(third.err, "it is busy (in use by another program)")) << third.err;

  // Each INI holds the "last" of its own instrument only.
  for (auto [ini, one, other] :
       {std::tuple{"etc/site1.ini", "head_1234", "head_5678"}, {"etc/site2.ini", "head_5678", "head_1234"}}) {
    EXPECT_NE(CIniFile(home / ini).GetString(one, "last", ""), "") << ini;
    EXPECT_TRUE(CIniFile(home / ini).GetSection(other).empty()) << ini;
  }
  EXPECT_TRUE(CIniFile(home / "etc/site3.ini").GetSection("head_1234").empty());

  // Every file belongs to one instance: its INI, its log, its own folder of
  // data files with all of its own box's records; no lock or state file is
  // shared, and the default INI's folder is never made.
  const std::string data = "Documents/SkyHarvester/";
  std::vector<std::string> files;
  for (auto& e : std::filesystem::recursive_directory_iterator(home.path()))
    if (e.is_regular_file() && e.path().extension() != ".k8")
      files.push_back(std::filesystem::relative(e.path(), home.path()).string());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{data + "site1.log", data + "site2.log", data + "site3.log", "err.txt",
                                             "err2.txt", "err3.txt", "etc/site1.ini", "etc/site2.ini", "etc/site3.ini",
                                             "out.txt", "out2.txt", "out3.txt"}));
  EXPECT_TRUE(test::FilesMatching(home / data, ".*\\.k8").empty());
  EXPECT_FALSE(std::filesystem::exists(home / (data + "site3")));
  const size_t counts[] = {one.Box()->memory().size(), two.Box()->memory().size()};
  ASSERT_NE(counts[0], counts[1]);
  for (int i = 0; i < 2; ++i) {
    const std::string site = home / (data + "site" + std::to_string(i + 1));
    const auto k8 = test::FilesMatching(site, i == 0 ? "SPD7000201_1234.*\\.k8" : "SPD7000201_5678.*\\.k8");
    ASSERT_EQ(k8.size(), 1u) << site;
    EXPECT_EQ(test::K8Records(k8[0]).size(), counts[i]);
    const std::string log = test::ReadFile(site + ".log");
    EXPECT_TRUE(Has(log, std::to_string(counts[i]) + " records received correctly")) << log;
    EXPECT_FALSE(Has(log, std::to_string(counts[1 - i]) + " records received")) << log;
  }
  const std::string log3 = test::ReadFile(home / (data + "site3.log"));
  EXPECT_TRUE(Has(log3, "Open media: ERROR") && !Has(log3, "records received")) << log3;
}

TEST(SeveralInstruments, TheOptionOrTheVariableChoosesTheIni) {
  test::TempDir home;
  test::WriteCliIni(home, "[communication]\nport=/dev/default\n");
  std::filesystem::create_directories(home / "etc/folder.ini");
  for (const char* name : {"a", "b", "locked"})
    test::WriteFile(home / "etc/" + name + ".ini", std::string("[communication]\nport=/dev/") + name + "\n");
  ::chmod((home / "etc/locked.ini").c_str(), 0);
  const std::string a = home / "etc/a.ini", b = home / "etc/b.ini", docs = home / "Documents/SkyHarvester/";

  struct Case {
    std::string args, env;
    int exitCode;
    std::vector<std::string> said;  // in stdout or stderr
  };
  const std::vector<Case> cases = {
      {"config show",
       "",
       0,
       {"files/ini = " + test::CliIniPath(home) + "\n", "port = /dev/default",
        "files/log = " + docs + "SkyHarvester.log\n"}},
      {"--config " + a + " config show",
       "",
       0,
       {"files/ini = " + a + "\n", "port = /dev/a", "files/log = " + docs + "a.log\n", "ascii_path = " + docs + "a/\n",
        "folders/settings = " + home / "etc/\n"}},
      {"config show --config=" + a, "", 0, {"files/ini = " + a + "\n"}},
      {"config show",
       "SKYHARVESTER_CONFIG='" + b + "'",
       0,
       {"files/ini = " + b + "\n", "files/log = " + docs + "b.log\n"}},
      {"config --config " + a + " show", "SKYHARVESTER_CONFIG='" + b + "'", 0, {"files/ini = " + a + "\n"}},
      {"config show --config " + home / "etc/none.ini",
       "",
       1,
       {"Can't read \"" + home / "etc/none.ini\": No such file or directory"}},
      {"config show",
       "SKYHARVESTER_CONFIG='" + home / "etc/folder.ini'",
       1,
       {"Can't read \"" + home / "etc/folder.ini\": is a folder"}},
      {"config show --config " + home / "etc/locked.ini",
       "",
       1,
       {"Can't read \"" + home / "etc/locked.ini\": Permission denied"}},
      {"config show --config", "", 1, {"--config needs a value"}},
      {"--config= config show", "", 1, {"--config needs a value"}},
  };
  for (const Case& c : cases) {
    test::CliRun run = test::RunCliBoundByPermissions(home, c.args, {c.env, ""});
    EXPECT_EQ(run.exitCode, c.exitCode) << c.args << "\n" << run.err;
    for (const std::string& s : c.said) EXPECT_TRUE(Has(run.out + run.err, s)) << c.args << ": " << s;
  }
  // A missing INI is not made, a locked one not replaced.
  EXPECT_FALSE(std::filesystem::exists(home / "etc/none.ini"));
  ::chmod((home / "etc/locked.ini").c_str(), 0600);
  EXPECT_EQ(test::ReadFile(home / "etc/locked.ini"), "[communication]\nport=/dev/locked\n");
}

}  // namespace
}  // namespace skyh
