// The server's faces the end-to-end tests do not take: standard input and
// output, and the simulator program itself. (The pseudo-terminal and the
// TCP faces serve every end-to-end test.)
#include "box_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "support/test_common.h"
#include "wire_helpers.h"

extern char** environ;

namespace skyh::sim {
namespace {

using test::Bytes;

// The replies that arrive until `count` came or a long quiet spell.
std::vector<test::Reply> ReadFrames(int fd, size_t count) {
  Bytes wire;
  pollfd p{fd, POLLIN, 0};
  for (uint8_t b; test::Replies(wire).size() < count && ::poll(&p, 1, 10000) > 0 && ::read(fd, &b, 1) == 1;)
    wire.push_back(b);
  return test::Replies(wire);
}

bool WriteBytes(int fd, const Bytes& b) { return ::write(fd, b.data(), b.size()) == static_cast<ssize_t>(b.size()); }

TEST(BoxServer, DescriptorsAnswerThenEndOfInputEndsTheRun) {
  ControlBox box;
  box.memory().SetSettings(test::Record(0x7C, 0, Bytes(30, 0)));
  BoxServer server(box);
  int toBox[2], fromBox[2];
  ASSERT_TRUE(::pipe(toBox) == 0 && ::pipe(fromBox) == 0);
  server.UseDescriptors(toBox[0], fromBox[1]);
  std::atomic<bool> never{false};
  std::thread t([&] { server.Run(never); });
  ASSERT_TRUE(WriteBytes(toBox[1], test::Request(0x21, 0x3E)));
  ::close(toBox[1]);
  t.join();
  ::close(fromBox[1]);
  const std::vector<test::Reply> got = ReadFrames(fromBox[0], 1);
  EXPECT_TRUE(got.size() == 1 && got[0].payload == (Bytes{2, 1, 0}));
  for (int fd : {toBox[0], fromBox[0]}) ::close(fd);
}

TEST(BoxServer, ProgramPrintsItsTerminalMakesTheLinkAndStopsOnSigterm) {
  const std::string program = std::string(SKYH_BINARY_DIR) + "/sim/skyharvester-sim";
  if (!std::filesystem::exists(program)) GTEST_SKIP() << "skyharvester-sim not built";
  skyh::test::TempDir dir;
  const std::string link = dir / "ttyBOX";
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  const char* argv[] = {program.c_str(), "--pty", "--link", link.c_str(), "--empty", "--days", "1", nullptr};
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, const_cast<char**>(argv), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  std::string line;
  char c;
  while (::read(out[0], &c, 1) == 1 && c != '\n') line.push_back(c);
  ::close(out[0]);
  EXPECT_EQ(line.rfind("/dev/pts/", 0), 0u) << line;
  EXPECT_EQ(std::filesystem::read_symlink(link).string(), line);

  int fd = ::open(line.c_str(), O_RDWR | O_NOCTTY);
  EXPECT_GE(fd, 0);
  if (fd >= 0) {
    WriteBytes(fd, test::Request(0x21, 0x43));
    std::vector<test::Reply> got = ReadFrames(fd, 1);
    EXPECT_TRUE(got.size() == 1 && got[0].cmd == 0x43 && got[0].payload.empty());  // --empty: no record
    ::close(fd);
  }
  ::kill(pid, SIGTERM);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_FALSE(std::filesystem::is_symlink(link));
}

}  // namespace
}  // namespace skyh::sim
