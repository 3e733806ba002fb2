// skyharvester-cli retrieve over a serial device server: raw TCP and Telnet
// with the COM-PORT-OPTION, against the simulated box on a loopback port,
// with the connection dropped in the middle of the walk; and the ways a
// network port goes wrong.
#include "sim_pty_bridge.h"
#include "support/test_common.h"

namespace skyh {
namespace {

using Face = test::SimPtyBridge::Face;
using test::Has;

const char kIni[] = "retrieve_limited=0\nretrieve_missing=0\n[head_1234]\nlast=1700000000\n";

TEST(NetworkCli, EveryRecordOnceOverBothFacesThoughTheLineDropsMidWalk) {
  for (Face face : {Face::Socket, Face::Rfc2217}) {
    test::CliBox box(test::BoxWith([](auto& o) { o.faults.hangUpAfterReplies = 25; }), test::Demo(2, 20), kIni, face);
    ASSERT_TRUE(box.bridge.ok());
    const test::CliRun run = box.Run("retrieve");
    ASSERT_GT(box.BoxSize(), 40u);
    ASSERT_EQ(run.exitCode, 0) << box.bridge.Path() << "\n" << run.out << run.err;
    EXPECT_TRUE(Has(run.out, "Records: " + std::to_string(box.BoxSize()) + " ")) << run.out;
    ASSERT_EQ(box.Snapshots().size(), 1u);
    EXPECT_TRUE(test::K8Records(box.Snapshots()[0]) == test::NewestFirst(*box.bridge.Box())) << box.bridge.Path();
    // The drop was noticed and the walk went on over a new connection.
    const std::string log = test::ReadFile(box.Files() + "SkyHarvester.log");
    EXPECT_TRUE(Has(log, "Connexion lost ( retry: 1 / ")) << log;
    EXPECT_TRUE(face == Face::Socket || box.bridge.LineSettings().Text() == "9600 8N1");
  }
}

TEST(NetworkCli, BadPortsFailClearlyAndWriteNothing) {
  for (const auto& [port, said] : {std::pair<std::string, std::string>{"rfc2217://nohost.invalid:4001",
                                                                       "can't resolve the host \"nohost.invalid\""},
                                   {"socket://127.0.0.1:70000", "the port number \"70000\" is not in 1..65535"},
                                   {"/dev/nonexistent-port", "Retrieve data error."}}) {
    test::TempDir dir;
    test::WriteCliIni(dir, test::DemoIni(port, kIni));
    const test::CliRun run = test::RunCli(dir, "retrieve");
    EXPECT_EQ(run.exitCode, 1) << port;
    EXPECT_TRUE(Has(run.out + run.err, said)) << port << "\n" << run.out << run.err;
    EXPECT_TRUE(test::FilesMatching(dir / "Documents/SkyHarvester/", ".*\\.k8").empty()) << port;
    EXPECT_EQ(test::HeadValue(dir), "1700000000") << port;
  }
}

}  // namespace
}  // namespace skyh
