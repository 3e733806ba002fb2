// The serial link against the simulated control box on a pseudo-terminal.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "core/time_util.h"
#include "link/ccom_serial.h"
#include "sim_pty_bridge.h"
#include "support/temp_dir.h"

extern "C" char** environ;

namespace skyh {
namespace {

using test::SimPtyBridge;

TEST(SerialLinkE2e, EveryCommandOverAPseudoTerminal) {
  SimPtyBridge bridge({}, [](sim::ControlBox& box) { test::FillMemory(box.memory(), 5); });
  ASSERT_TRUE(bridge.ok());
  const sim::ControlBox& box = bridge.Box();
  CComSerial link;
  link.SetPortName(bridge.Path());
  ASSERT_TRUE(link.Open()) << link.GetLastErrorText();

  int64_t boxTime = 0;
  ASSERT_EQ(link.GetDateTime(boxTime), kComOk);
  EXPECT_LE(std::llabs(boxTime - NowUtc()), 5);
  const int64_t target = FieldsToTime(2031, 5, 6, 7, 8, 9);
  ASSERT_EQ(link.SetDateTime(target), kComOk);
  ASSERT_EQ(link.GetDateTime(boxTime), kComOk);
  EXPECT_LE(std::llabs(boxTime - target), 5);

  std::vector<uint8_t> settings;
  ASSERT_EQ(link.GetSettings(settings), kComOk);
  EXPECT_EQ(settings, box.memory().settings());

  std::vector<uint8_t> area(40, 0);
  area[4] = 0xA1;
  area[5] = 0xB2;
  area[6] = 0xC3;
  ASSERT_EQ(link.WriteSettings(area.data(), 4, 3), kComOk);
  EXPECT_EQ(box.memory().settings()[13 + 4], 0xA1);
  EXPECT_EQ(box.memory().settings()[13 + 6], 0xC3);

  std::vector<uint8_t> record;
  std::vector<uint8_t> repeated;
  ASSERT_EQ(link.GetLastRecord(record), kComOk);
  EXPECT_EQ(record, box.memory().records()[4]);
  ASSERT_EQ(link.RepeatRecord(repeated), kComOk);
  EXPECT_EQ(repeated, record);
  ASSERT_EQ(link.GetPreviousRecord(record), kComOk);
  EXPECT_EQ(record, box.memory().records()[3]);

  uint8_t major = 0, minor = 0, patch = 0;
  ASSERT_EQ(link.GetFirmwareVersion(major, minor, patch, 0), kComOk);
  EXPECT_EQ(major, 2);
  EXPECT_EQ(minor, 1);
  uint8_t mode = 9, bootVersion = 0;
  uint16_t blockSize = 0;
  std::vector<uint8_t> key;
  int32_t keyLength = 0;
  ASSERT_EQ(link.GetBootInfo(mode, blockSize, bootVersion, key, keyLength), kComOk);
  EXPECT_EQ(mode, 0);

  EXPECT_EQ(link.EndSession(), kComOk);
  EXPECT_EQ(link.ResetBoard(), kComOk);
  ASSERT_EQ(link.ClearFlash(), kComOk);
  EXPECT_EQ(box.memory().size(), 0u);
  // An empty memory answers with a record of no bytes.
  EXPECT_EQ(link.GetLastRecord(record), kComOk);
  EXPECT_TRUE(record.empty());
  EXPECT_EQ(box.counters().commands, 14);  // one frame per command
  EXPECT_EQ(box.counters().retransmissions, 0);
  EXPECT_TRUE(link.Close());
}

// Walks the memory newest first; closes and opens the link once on the way.
void WalkWithReconnect(CComSerial& link, size_t reconnectAt,
                       std::vector<std::vector<uint8_t>>& got, ComResult& result) {
  std::vector<uint8_t> record;
  result = link.GetLastRecord(record);
  if (result != kComOk) return;
  got.push_back(record);
  while ((result = link.GetPreviousRecord(record)) == kComOk) {
    got.push_back(record);
    if (got.size() == reconnectAt) {
      uint8_t sequenceBefore = link.Sequence();
      ASSERT_TRUE(link.Close());
      ASSERT_TRUE(link.Open()) << link.GetLastErrorText();
      EXPECT_EQ(link.Sequence(), sequenceBefore);  // runs on across the reconnect
    }
  }
}

TEST(SerialLinkE2e, WalksAThousandRecordsAcrossAReconnect) {
  sim::BoxMemory expected;
  test::FillMemory(expected, 1000);
  SimPtyBridge bridge({}, [&](sim::ControlBox& box) { box.memory() = expected; });
  ASSERT_TRUE(bridge.ok());
  CComSerial link;
  link.SetPortName(bridge.Path());
  ASSERT_TRUE(link.Open()) << link.GetLastErrorText();

  std::vector<std::vector<uint8_t>> got;
  ComResult result = kComOk;
  WalkWithReconnect(link, 500, got, result);
  EXPECT_EQ(result, kComNoRecord);
  ASSERT_EQ(got.size(), 1000u);
  for (size_t i = 0; i < got.size(); ++i) {
    ASSERT_EQ(got[i], expected.records()[999 - i]) << "record " << i;
  }
  EXPECT_EQ(bridge.Box().counters().retransmissions, 0);
}

// The program itself, reached through the symbolic link it makes.
TEST(SerialLinkE2e, WalksTheDemoMemoryOfTheSimulatorProgram) {
  const std::string program = std::string(SKYH_BINARY_DIR) + "/sim/skyharvester-sim";
  if (::access(program.c_str(), X_OK) != 0) GTEST_SKIP() << "no " << program;
  test::TempDir dir;
  const std::string k8 = dir / "demo.k8";
  ASSERT_EQ(std::system((program + " --generate " + k8 + " --days 2 >/dev/null").c_str()), 0);
  sim::BoxMemory expected;
  ASSERT_TRUE(expected.LoadK8(k8));
  ASSERT_GT(expected.size(), 100u);

  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  const std::string linkPath = dir / "box";
  std::vector<std::string> args = {program, "--pty", "--link", linkPath, "--memory", k8};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  // The program prints its terminal once it serves (and the link exists).
  FILE* printed = ::fdopen(out[0], "r");
  char line[256] = {};
  ASSERT_NE(std::fgets(line, sizeof line, printed), nullptr);

  CComSerial link;
  link.SetPortName(linkPath);
  ASSERT_TRUE(link.Open()) << link.GetLastErrorText();
  std::vector<uint8_t> settings;
  EXPECT_EQ(link.GetSettings(settings), kComOk);
  EXPECT_EQ(settings, expected.settings());
  std::vector<std::vector<uint8_t>> got;
  ComResult result = kComOk;
  WalkWithReconnect(link, 40, got, result);
  EXPECT_EQ(result, kComNoRecord);
  ASSERT_EQ(got.size(), expected.size());
  for (size_t i = 0; i < got.size(); ++i) {
    ASSERT_EQ(got[i], expected.records()[expected.size() - 1 - i]) << "record " << i;
  }
  EXPECT_EQ(link.EndSession(), kComOk);
  link.Close();

  ::kill(pid, SIGTERM);
  int status = 0;
  EXPECT_EQ(::waitpid(pid, &status, 0), pid);
  std::fclose(printed);
}

}  // namespace
}  // namespace skyh
