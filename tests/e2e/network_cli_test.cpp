// skyharvester-cli retrieve over a serial device server: raw TCP and Telnet
// with the COM-PORT-OPTION, against the simulated box on a loopback port,
// with the connection dropped in the middle of the walk; and the ways a
// network port goes wrong.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <thread>

#include "core/ini_file.h"
#include "data/record_store.h"
#include "demo_instrument.h"
#include "records/scenario_list.h"
#include "sim_pty_bridge.h"
#include "support/cli_run.h"

namespace skyh {
namespace {

using Records = std::vector<std::vector<uint8_t>>;
using Face = test::SimPtyBridge::Face;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

void WriteIni(const test::TempDir& home, const std::string& port) {
  test::WriteCliIni(home, "[general]\nconfiguration=" SKYH_SOURCE_DIR "/demo/\n[communication]\ntype=1\nport=" + port +
                              "\nlog=1\nretrieve_limited=0\nretrieve_missing=0\n[head_1234]\nlast=1700000000\n");
}

std::vector<std::string> K8Files(const std::string& folder) {
  std::vector<std::string> out;
  if (!std::filesystem::exists(folder)) return out;
  for (auto& e : std::filesystem::directory_iterator(folder))
    if (e.path().extension() == ".k8") out.push_back(e.path().string());
  return out;
}

// A listening loopback socket whose connections `serve` handles, one at a time.
class TinyServer {
 public:
  explicit TinyServer(std::function<void(int)> serve) : serve_(std::move(serve)) {
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listen_, 4) != 0) return;
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    thread_ = std::thread([this] {
      while (!stop_) {
        pollfd p{listen_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        const int c = ::accept(listen_, nullptr, nullptr);
        if (c < 0) continue;
        ++connections;
        timeval limit{5, 0};  // a client that never closes cannot hold the test
        ::setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        serve_(c);
        ::close(c);
      }
    });
  }
  ~TinyServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    ::close(listen_);
  }
  uint16_t port = 0;
  std::atomic<int> connections{0};

 private:
  std::function<void(int)> serve_;
  int listen_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A port on which nothing listens (taken and given back).
uint16_t ClosedPort() {
  TinyServer s([](int) {});
  return s.port;
}

class NetworkCli : public ::testing::Test {
 protected:
  void SetUp() override { GetScenarioList().Load(SKYH_SOURCE_DIR "/demo/ScnList.dat"); }
};

TEST_F(NetworkCli, EveryRecordOnceOverBothFacesThoughTheLineDropsMidWalk) {
  for (Face face : {Face::Socket, Face::Rfc2217}) {
    test::TempDir dir;
    sim::BoxOptions options;
    options.faults.hangUpAfterReplies = 25;
    test::SimPtyBridge bridge(
        options,
        [](sim::ControlBox& box) {
          sim::DemoOptions demo;
          demo.days = 2;
          demo.intervalMinutes = 20;
          sim::GenerateDemoMemory(demo, box.memory());
          box.memory().SortByTime();
        },
        face, 40);
    ASSERT_TRUE(bridge.ok());
    WriteIni(dir, "/dev/nonexistent-port");
    test::CliRun run = test::RunCli(dir, "retrieve --port " + bridge.Path());
    const size_t count = bridge.Box()->memory().size();
    ASSERT_GT(count, 40u);
    ASSERT_EQ(run.exitCode, 0) << bridge.Path() << "\n" << run.out << run.err;
    EXPECT_TRUE(Has(run.out, "Records: " + std::to_string(count) + " ")) << run.out;
    const std::vector<std::string> k8 = K8Files(dir / "Documents/SkyHarvester/");
    ASSERT_EQ(k8.size(), 1u);
    RecordStore store;
    ASSERT_TRUE(store.LoadFromFile(k8[0]));
    Records got, want = bridge.Box()->memory().records();
    std::reverse(want.begin(), want.end());
    for (int i = 0; i < store.Count(); ++i)
      got.emplace_back(store.At(i)->raw(), store.At(i)->raw() + store.At(i)->length());
    EXPECT_TRUE(got == want) << bridge.Path() << ": " << got.size() << " records of " << want.size();
    // The drop was noticed and the walk went on over a new connection.
    const std::string log = test::ReadFile(dir / "Documents/SkyHarvester/SkyHarvester.log");
    EXPECT_TRUE(Has(log, "Connexion lost ( retry: 1 / ")) << log;
    if (face == Face::Rfc2217) {
      EXPECT_EQ(bridge.LineSettings().Text(), "9600 8N1");
    }
  }
}

// Reads what the client sends until it closes.
void Drain(int fd) {
  uint8_t buf[256];
  while (::read(fd, buf, sizeof buf) > 0) {
  }
}

TEST_F(NetworkCli, BadNetworkPortsFailClearlyAndWriteNothing) {
  TinyServer closesAtOnce([](int) {});
  TinyServer garbage([](int fd) {
    // Commands that are none, an option nobody offered, a subnegotiation that never ends.
    const uint8_t junk[] = {255, 7, 255, 251, 44, 255, 250, 44, 101, 255, 1, 2, 3, 255, 255, 255, 250, 99};
    for (int i = 0; i < 8; ++i)
      if (::write(fd, junk, sizeof junk) < 0) return;
    Drain(fd);
  });
  struct Row {
    std::string port, said;
  };
  const Row rows[] = {
      {"socket://127.0.0.1:" + std::to_string(ClosedPort()), "the connection was refused"},
      {"socket://nohost.invalid:4001", "can't resolve the host \"nohost.invalid\""},
      {"socket://127.0.0.1:70000", "the port number \"70000\" is not in 1..65535"},
      {"socket://127.0.0.1:" + std::to_string(closesAtOnce.port), "closed the connection at once"},
      {"rfc2217://127.0.0.1:" + std::to_string(garbage.port), "sent Telnet garbage"},
  };
  for (const Row& row : rows) {
    test::TempDir dir;
    WriteIni(dir, row.port);
    const test::CliRun run = test::RunCli(dir, "retrieve");
    EXPECT_NE(run.exitCode, 0) << row.port;
    EXPECT_TRUE(Has(run.out + run.err, row.said)) << row.port << "\n" << run.out << run.err;
    EXPECT_TRUE(K8Files(dir / "Documents/SkyHarvester/").empty()) << row.port;
    EXPECT_EQ(CIniFile(test::CliIniPath(dir)).GetString("head_1234", "last", ""), "1700000000") << row.port;
  }
  EXPECT_GT(closesAtOnce.connections.load(), 0);
  EXPECT_GT(garbage.connections.load(), 0);
}

}  // namespace
}  // namespace skyh
