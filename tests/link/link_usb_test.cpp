// The USB device layer over a fake transport: time-outs, cancels, failures.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "link/usb_device.h"
#include "support/fake_usb_transport.h"

namespace skyh {
namespace {

using test::FakeUsbDevice;
using test::FakeUsbTransport;

struct FakeUsb {
  std::shared_ptr<FakeUsbDevice> dev = std::make_shared<FakeUsbDevice>();
  UsbDevice device{std::make_unique<FakeUsbTransport>(dev)};
};

TEST(UsbDevice, PresenceAndOpenFollowTheDevice) {
  FakeUsb usb;
  usb.dev->present = false;
  EXPECT_FALSE(usb.device.IsPresent());
  EXPECT_FALSE(usb.device.Open());
  EXPECT_FALSE(usb.device.IsOpen());

  usb.dev->present = true;
  usb.dev->openFails = true;  // present, but the interface cannot be claimed
  EXPECT_TRUE(usb.device.IsPresent());
  EXPECT_FALSE(usb.device.Open());

  usb.dev->openFails = false;
  EXPECT_TRUE(usb.device.Open());
  EXPECT_TRUE(usb.device.Open());  // a second open keeps the one device
  EXPECT_EQ(usb.dev->opens, 1);
  usb.device.Close();
  EXPECT_FALSE(usb.dev->open);
  uint8_t b[4];
  EXPECT_FALSE(usb.device.Write(b, 4, 100));  // closed
  EXPECT_EQ(usb.device.Read(b, 4, 100), 0);
}

TEST(UsbDevice, ReadAndWriteMoveBytesBothWays) {
  FakeUsb usb;
  ASSERT_TRUE(usb.device.Open());
  const uint8_t frame[] = {0x01, 0x05, 0x02, 'A', 0x17};
  EXPECT_TRUE(usb.device.Write(frame, sizeof frame, 5000));
  EXPECT_EQ(usb.dev->fromHost, std::vector<uint8_t>(frame, frame + sizeof frame));

  std::vector<uint8_t> reply(5000);
  for (size_t i = 0; i < reply.size(); ++i) reply[i] = uint8_t(i);
  usb.dev->Send(reply);
  uint8_t buffer[4096];
  // One read hands back at most the size asked for; the rest comes next.
  ASSERT_EQ(usb.device.Read(buffer, sizeof buffer, 3000), 4096);
  EXPECT_EQ(buffer[4095], uint8_t(4095));
  ASSERT_EQ(usb.device.Read(buffer, sizeof buffer, 3000), 5000 - 4096);
  EXPECT_EQ(buffer[0], uint8_t(4096));
  EXPECT_EQ(usb.dev->cancels, 0);
}

TEST(UsbDevice, ReadTimeOutCancelsTheInTransfer) {
  FakeUsb usb;
  ASSERT_TRUE(usb.device.Open());
  uint8_t buffer[4096];
  EXPECT_EQ(usb.device.Read(buffer, sizeof buffer, 3000), 0);
  EXPECT_EQ(usb.dev->inCancels, 1);
  EXPECT_FALSE(usb.dev->inFlight);
  // A later reply is read normally: nothing was left in flight.
  usb.dev->Send({0x06});
  EXPECT_EQ(usb.device.Read(buffer, sizeof buffer, 3000), 1);
  EXPECT_EQ(usb.dev->overlapped, 0);
}

TEST(UsbDevice, StalledAndFailedWritesFailAndNeverOverlap) {
  FakeUsb usb;
  ASSERT_TRUE(usb.device.Open());
  const uint8_t frame[] = {1, 2, 3};

  usb.dev->failOut = true;
  EXPECT_FALSE(usb.device.Write(frame, 3, 5000));

  // A stalled pipe: the write gives up after its time-out and cancels.
  usb.dev->failOut = false;
  usb.dev->stallOut = true;
  EXPECT_FALSE(usb.device.Write(frame, 3, 5000));
  EXPECT_EQ(usb.dev->cancels, 1);

  // The cancel takes a while to end: the next transfer waits for it instead
  // of starting on top of it, and fails while it is still in flight.
  // (Each wait of the fake stands for one grace period: the write's own
  // wait after its cancel and the read's wait both run out.)
  usb.dev->cancelSlowWaits = 2;
  EXPECT_FALSE(usb.device.Write(frame, 3, 5000));
  EXPECT_TRUE(usb.dev->inFlight);
  uint8_t buffer[16];
  usb.dev->Send({0x06});
  EXPECT_EQ(usb.device.Read(buffer, sizeof buffer, 100), 0);
  EXPECT_EQ(usb.dev->overlapped, 0);

  // Once the cancelled write has ended, transfers run again.
  usb.dev->stallOut = false;
  usb.dev->cancelSlowWaits = 0;
  EXPECT_EQ(usb.device.Read(buffer, sizeof buffer, 100), 1);
  EXPECT_TRUE(usb.device.Write(frame, 3, 5000));
  EXPECT_EQ(usb.dev->overlapped, 0);
  EXPECT_EQ(usb.dev->fromHost, std::vector<uint8_t>({1, 2, 3}));

  // Closing with a transfer in flight cancels it first.
  usb.dev->stallOut = true;
  usb.dev->cancelSlowWaits = 5;
  EXPECT_FALSE(usb.device.Write(frame, 3, 5000));
  usb.device.Close();
  EXPECT_FALSE(usb.dev->open);
}

TEST(UsbPackaging, UdevRuleGivesTheSeatAndTheServiceAccess) {
  const std::string name = "70-skyharvester.rules";
  std::ifstream in(std::string(SKYH_SOURCE_DIR) + "/packaging/" + name);
  ASSERT_TRUE(in.good());
  std::stringstream text;
  text << in.rdbuf();
  const std::string rule = text.str();
  EXPECT_LT(name, "73-seat-late.rules");  // uaccess is applied there
  EXPECT_NE(rule.find("ATTR{idVendor}==\"04de\""), std::string::npos);
  EXPECT_NE(rule.find("ATTR{idProduct}==\"f586\""), std::string::npos);
  EXPECT_NE(rule.find("TAG+=\"uaccess\""), std::string::npos);
  EXPECT_NE(rule.find("GROUP=\"skyharvester\""), std::string::npos);
}

}  // namespace
}  // namespace skyh
