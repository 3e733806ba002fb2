// Port discovery order.
#include "link/serial_ports_list.h"
#include "support/test_common.h"
#include "support/umockdev_run.h"

namespace skyh {
namespace {

TEST(SerialPortsList, NaturalOrderComparesNumbersByValue) {
  std::vector<std::string> names = {"/dev/ttyS10",  "/dev/ttyUSB0", "/dev/ttyS2",
                                    "/dev/ttyACM1", "/dev/ttyS02",  "/dev/ttyS1"};
  std::sort(names.begin(), names.end(), NaturalLess);
  EXPECT_EQ(names, (std::vector<std::string>{"/dev/ttyACM1", "/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS02", "/dev/ttyS10",
                                             "/dev/ttyUSB0"}));
  EXPECT_TRUE(!NaturalLess("ttyS2", "ttyS2") && NaturalLess("ttyS", "ttyS0") && !NaturalLess("ttyS0", "ttyS"));
  EXPECT_TRUE(NaturalLess("a99999999999999999999999", "a100000000000000000000000"));
}

TEST(SerialPortsList, StableNamesComeFromTheByIdFolderInNaturalOrder) {
  test::TempDir dir;
  for (const char* name : {"usb-Box_10-if00", "usb-Box_2-if00"}) test::WriteFile(dir / name, "");
  std::vector<std::string> names = {"/dev/ttyS0"};
  EXPECT_TRUE(ListStableSerialPorts(names, dir.path()));
  EXPECT_EQ(names, (std::vector<std::string>{"/dev/ttyS0", dir / "usb-Box_2-if00", dir / "usb-Box_10-if00"}));
  EXPECT_FALSE(ListStableSerialPorts(names, dir / "absent/"));
  EXPECT_EQ(names.size(), 3u);
}

// Under umockdev the system has exactly the ports ttyUSB10 and ttyUSB2.
TEST(SerialPortsList, AppendsTheSystemsPortsInNaturalOrder) {
  if (!test::UnderUmockdev()) {
    if (!test::UmockdevAvailable()) GTEST_SKIP() << "umockdev-run cannot be used here";
    EXPECT_EQ(test::RunSelfUnderUmockdev(std::string(SKYH_SOURCE_DIR) + "/tests/link/serial_ports_tty.umockdev",
                                         "SerialPortsList.AppendsTheSystemsPortsInNaturalOrder", "ttys"),
              0);
    return;
  }
  std::vector<std::string> target = {"kept"};
  EXPECT_TRUE(ListSerialPorts(target));
  EXPECT_EQ(target, (std::vector<std::string>{"kept", "/dev/ttyUSB2", "/dev/ttyUSB10"}));
}

}  // namespace
}  // namespace skyh
