#include "box_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "support/temp_dir.h"
#include "wire_helpers.h"

extern char** environ;

namespace skyh::sim {
namespace {

using test::Bytes;

// Reads until `count` complete frames arrived; gives up after a long quiet spell.
std::vector<test::Reply> ReadFrames(int fd, size_t count) {
  Bytes wire;
  for (;;) {
    std::vector<test::Reply> got = test::Replies(wire);
    size_t complete = 0;
    for (const auto& r : got) complete += r.complete;
    if (complete >= count) return got;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 10000) <= 0) return got;
    uint8_t buf[512];
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) return got;
    wire.insert(wire.end(), buf, buf + n);
  }
}

bool WriteBytes(int fd, const Bytes& b) { return ::write(fd, b.data(), b.size()) == static_cast<ssize_t>(b.size()); }

ControlBox MakeBox(const BoxOptions& o = {}) {
  ControlBox box(o);
  box.memory().SetSettings(test::Record(0x7C, 0, Bytes(30, 0)));
  box.memory().Append(test::Record(0x11, test::Packed(2025, 5, 6, 7, 8, 9), Bytes{1, 2, 3}));
  return box;
}

struct Served {
  std::atomic<bool> stop{false};
  std::thread thread;
  void Start(BoxServer& s) {
    thread = std::thread([this, &s] { s.Run(stop); });
  }
  ~Served() {
    stop = true;
    if (thread.joinable()) thread.join();
  }
};

TEST(BoxServer, PseudoTerminalAnswersPlainOpenWriteRead) {
  BoxOptions o;
  o.faults.echoRequests = true;  // lets the test see that the box has read a request
  o.faults.silentAfterReplies = 1;
  ControlBox box = MakeBox(o);
  BoxServer server(box);
  std::string path, error;
  ASSERT_TRUE(server.OpenPseudoTerminal(path, error)) << error;
  Served served;
  served.Start(server);

  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0) << path;
  ASSERT_TRUE(WriteBytes(fd, test::Request(0x21, 0x43)));
  std::vector<test::Reply> got = ReadFrames(fd, 2);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].cmd, 0x43);  // the echo
  EXPECT_TRUE(got[1].cmd == 0xC3 && got[1].payload == box.memory().records()[0]);
  // Now silent: only the echo comes back.
  ASSERT_TRUE(WriteBytes(fd, test::Request(0x22, 0x3E)));
  got = ReadFrames(fd, 1);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_TRUE(got[0].payload.empty());
  ::close(fd);

  // Reopening the terminal ends the silence.
  fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(WriteBytes(fd, test::Request(0x23, 0x3E)));
  got = ReadFrames(fd, 2);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_TRUE(got[1].payload == (Bytes{2, 1, 0}) && got[1].seq == 0x23);
  // And it falls silent again after as many replies.
  ASSERT_TRUE(WriteBytes(fd, test::Request(0x24, 0x3E)));
  got = ReadFrames(fd, 1);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_TRUE(got[0].payload.empty());
  ::close(fd);
  served.stop = true;
  served.thread.join();
  EXPECT_EQ(box.counters().replies, 2);
  EXPECT_EQ(box.counters().ignoredWhileSilent, 2);
}

TEST(BoxServer, LoopbackTcpAndDescriptors) {
  ControlBox box = MakeBox();
  BoxServer server(box);
  uint16_t port = 0;
  std::string error;
  ASSERT_TRUE(server.ListenTcp(0, port, error)) << error;
  EXPECT_NE(port, 0);
  Served served;
  served.Start(server);
  for (uint8_t seq : {0x21, 0x22}) {  // a second connection after the first closed
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_TRUE(WriteBytes(s, test::Request(seq, 0x47)));
    std::vector<test::Reply> got = ReadFrames(s, 1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].payload, box.memory().settings());
    ::close(s);
  }

  // Standard input and output: answers go out, then end of input ends the run.
  ControlBox piped = MakeBox();
  BoxServer byPipes(piped);
  int toBox[2], fromBox[2];
  ASSERT_TRUE(::pipe(toBox) == 0 && ::pipe(fromBox) == 0);
  byPipes.UseDescriptors(toBox[0], fromBox[1]);
  std::atomic<bool> never{false};
  std::thread t([&] { byPipes.Run(never); });
  ASSERT_TRUE(WriteBytes(toBox[1], test::Request(0x21, 0x3E)));
  ::close(toBox[1]);
  t.join();
  ::close(fromBox[1]);
  std::vector<test::Reply> got = ReadFrames(fromBox[0], 1);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].payload, (Bytes{2, 1, 0}));
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

  // A plain open, write and read of the printed path.
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
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_FALSE(std::filesystem::is_symlink(link));
}

}  // namespace
}  // namespace skyh::sim
