// Several instruments on one computer: skyharvester-cli with one INI per
// instrument (--config, SKYHARVESTER_CONFIG), each instance on its own port.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "core/ini_file.h"
#include "data/record_store.h"
#include "demo_instrument.h"
#include "records/scenario_list.h"
#include "sim_pty_bridge.h"
#include "support/cli_run.h"

namespace skyh {
namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string Ini(const std::string& port) {
  return "[general]\nconfiguration=" SKYH_SOURCE_DIR "/demo/\n[communication]\ntype=1\nport=" + port +
         "\nlog=1\nretrieve_limited=0\n";
}

// A demo box of instrument `number`; the answer delay keeps a walk going for
// a few seconds, long enough for other instances to run meanwhile.
struct Box {
  Box(uint16_t number, int days)
      : bridge(Slow(), [number, days](sim::ControlBox& box) {
          sim::DemoOptions demo;
          demo.days = days;
          demo.intervalMinutes = 20;
          demo.instrumentNumber = number;
          sim::GenerateDemoMemory(demo, box.memory());
          box.memory().SortByTime();
        }) {}
  static sim::BoxOptions Slow() {
    sim::BoxOptions o;
    o.faults.answerDelayMs = 15;
    return o;
  }
  test::SimPtyBridge bridge;
};

// Every regular file below `folder`, relative to it.
std::vector<std::string> FilesBelow(const std::string& folder) {
  std::vector<std::string> out;
  for (auto& e : std::filesystem::recursive_directory_iterator(folder))
    if (e.is_regular_file()) out.push_back(std::filesystem::relative(e.path(), folder).string());
  std::sort(out.begin(), out.end());
  return out;
}

TEST(SeveralInstruments, TwoInstancesOnTwoPortsRunSideBySideAndOnePortStaysExclusive) {
  GetScenarioList().Load(SKYH_SOURCE_DIR "/demo/ScnList.dat");
  Box one(1234, 3), two(5678, 2);
  ASSERT_TRUE(one.bridge.ok() && two.bridge.ok());
  test::TempDir home;
  std::filesystem::create_directories(home / "etc");
  test::WriteFile(home / "etc/site1.ini", Ini(one.bridge.Path()));
  test::WriteFile(home / "etc/site2.ini", Ini(two.bridge.Path()));
  test::WriteFile(home / "etc/site3.ini", Ini(one.bridge.Path()));  // the port of site1

  // site1 is stopped in the middle of its walk, holding its port; site2 runs
  // whole meanwhile, and site3 on site1's port is turned away.
  test::CliRun second, third;
  test::CliRun first = test::RunCliWith(home, "retrieve --config " + home / "etc/site1.ini",
                                        [&](int pid, const std::string& err) {
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
  CIniFile site1(home / "etc/site1.ini"), site2(home / "etc/site2.ini"), site3(home / "etc/site3.ini");
  EXPECT_NE(site1.GetString("head_1234", "last", ""), "");
  EXPECT_EQ(site1.GetString("head_5678", "last", ""), "");
  EXPECT_NE(site2.GetString("head_5678", "last", ""), "");
  EXPECT_EQ(site2.GetString("head_1234", "last", ""), "");
  EXPECT_TRUE(site3.GetSection("head_1234").empty());

  // Every file belongs to one instance: its INI, its log, its own folder of
  // data files; no lock or state file is shared, and the default INI's
  // folder is never made.
  const std::string data = "Documents/SkyHarvester/";
  std::vector<std::string> expected = {data + "site1.log", data + "site2.log", data + "site3.log",
                                       "err.txt", "err2.txt", "err3.txt", "etc/site1.ini", "etc/site2.ini",
                                       "etc/site3.ini", "out.txt", "out2.txt", "out3.txt"};
  std::vector<std::string> snapshots;
  for (const std::string& f : FilesBelow(home.path()))
    if (f.size() > 3 && f.compare(f.size() - 3, 3, ".k8") == 0) snapshots.push_back(f);
  ASSERT_EQ(snapshots.size(), 2u);
  EXPECT_EQ(snapshots[0].rfind(data + "site1/SPD7000201_1234", 0), 0u) << snapshots[0];
  EXPECT_EQ(snapshots[1].rfind(data + "site2/SPD7000201_5678", 0), 0u) << snapshots[1];
  expected.insert(expected.end(), snapshots.begin(), snapshots.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(FilesBelow(home.path()), expected);

  // Each snapshot holds all of its own box's records, and each log tells
  // of its own run only.
  const size_t counts[] = {one.bridge.Box()->memory().size(), two.bridge.Box()->memory().size()};
  ASSERT_NE(counts[0], counts[1]);
  for (int i = 0; i < 2; ++i) {
    RecordStore store;
    ASSERT_TRUE(store.LoadFromFile(home / snapshots[i]));
    EXPECT_EQ(static_cast<size_t>(store.Count()), counts[i]);
    const std::string log = test::ReadFile(home / (data + "site" + std::to_string(i + 1) + ".log"));
    EXPECT_TRUE(Has(log, std::to_string(counts[i]) + " records received correctly")) << log;
    EXPECT_FALSE(Has(log, std::to_string(counts[1 - i]) + " records received")) << log;
    EXPECT_FALSE(Has(log, "busy")) << log;
  }
  const std::string log3 = test::ReadFile(home / (data + "site3.log"));
  EXPECT_TRUE(Has(log3, "Open media: ERROR")) << log3;
  EXPECT_FALSE(Has(log3, "records received")) << log3;
}

TEST(SeveralInstruments, TheOptionOrTheVariableChoosesTheIni) {
  test::TempDir home;
  test::WriteCliIni(home, "[communication]\nport=/dev/default\n");
  std::filesystem::create_directories(home / "etc/folder.ini");
  test::WriteFile(home / "etc/a.ini", "[communication]\nport=/dev/a\n");
  test::WriteFile(home / "etc/b.ini", "[communication]\nport=/dev/b\n");
  test::WriteFile(home / "etc/locked.ini", "[communication]\nport=/dev/locked\n");
  ::chmod((home / "etc/locked.ini").c_str(), 0);
  const std::string a = home / "etc/a.ini", b = home / "etc/b.ini", docs = home / "Documents/SkyHarvester/";

  struct Case {
    std::string args, env;
    int exitCode;
    std::vector<std::string> said;  // in stdout or stderr
  };
  const std::vector<Case> cases = {
      {"config show", "", 0,
       {"files/ini = " + test::CliIniPath(home) + "\n", "port = /dev/default", "files/log = " + docs + "SkyHarvester.log\n"}},
      {"--config " + a + " config show", "", 0,
       {"files/ini = " + a + "\n", "port = /dev/a", "files/log = " + docs + "a.log\n",
        "ascii_path = " + docs + "a/\n", "folders/settings = " + home / "etc/\n"}},
      {"config show --config=" + a, "", 0, {"files/ini = " + a + "\n", "port = /dev/a"}},
      {"config show", "SKYHARVESTER_CONFIG='" + b + "'", 0,
       {"files/ini = " + b + "\n", "files/log = " + docs + "b.log\n"}},
      {"config --config " + a + " show", "SKYHARVESTER_CONFIG='" + b + "'", 0, {"files/ini = " + a + "\n"}},
      {"config show --config " + home / "etc/none.ini", "", 1,
       {"Can't read \"" + home / "etc/none.ini\": No such file or directory"}},
      {"config show", "SKYHARVESTER_CONFIG='" + home / "etc/folder.ini'", 1,
       {"Can't read \"" + home / "etc/folder.ini\": is a folder"}},
      {"config show --config " + home / "etc/locked.ini", "", 1,
       {"Can't read \"" + home / "etc/locked.ini\": Permission denied"}},
      {"config show --config", "", 1, {"--config needs a value"}},
      {"--config= config show", "", 1, {"--config needs a value"}},
  };
  for (const Case& c : cases) {
    test::CliRun run = test::RunCliBoundByPermissions(home, c.args, {c.env, ""});
    EXPECT_EQ(run.exitCode, c.exitCode) << c.args << "\n" << run.err;
    for (const std::string& s : c.said) EXPECT_TRUE(Has(run.out + run.err, s)) << c.args << ": " << s << "\n" << run.err;
  }
  // A missing INI is not made, a locked one not replaced.
  EXPECT_FALSE(std::filesystem::exists(home / "etc/none.ini"));
  ::chmod((home / "etc/locked.ini").c_str(), 0600);
  EXPECT_EQ(test::ReadFile(home / "etc/locked.ini"), "[communication]\nport=/dev/locked\n");
}

}  // namespace
}  // namespace skyh
