// The USB device layer over a fake transport: time-outs, cancels, failures.
#include "control_box.h"
#include "core/log_file.h"
#include "link/ccom_usb.h"
#include "link/libusb_transport.h"
#include "link/usb_device.h"
#include "support/fake_usb_transport.h"
#include "support/test_common.h"
#include "support/umockdev_run.h"

namespace skyh {
namespace {

using test::FakeUsbDevice;
using test::FakeUsbTransport;

struct FakeUsb {
  std::shared_ptr<FakeUsbDevice> dev = std::make_shared<FakeUsbDevice>();
  UsbDevice device{std::make_unique<FakeUsbTransport>(dev)};
};

TEST(UsbDevice, ReadsInPiecesStalledOrFailedWritesFailWithoutOverlapAndCloseWaitsForTheTransfer) {
  FakeUsb usb;
  ASSERT_TRUE(usb.device.Open());
  std::vector<uint8_t> reply(5000);
  for (size_t i = 0; i < reply.size(); ++i) reply[i] = uint8_t(i);
  usb.dev->Send(reply);
  uint8_t buffer[4096];
  // One read hands back at most the size asked for; the rest comes next.
  ASSERT_EQ(usb.device.Read(buffer, sizeof buffer, 3000), 4096);
  ASSERT_EQ(usb.device.Read(buffer, sizeof buffer, 3000), 5000 - 4096);
  EXPECT_EQ(buffer[0], uint8_t(4096));

  const uint8_t frame[] = {1, 2, 3};
  usb.dev->failOut = true;
  EXPECT_FALSE(usb.device.Write(frame, 3, 5000));

  // A stalled pipe: the write gives up after its time-out and cancels.
  usb.dev->failOut = false;
  usb.dev->stallOut = true;
  EXPECT_FALSE(usb.device.Write(frame, 3, 5000));
  EXPECT_EQ(usb.dev->cancels, 1);

  // The cancel takes a while to end (two grace periods of the fake): the next
  // transfer waits for it instead of starting on top of it, and fails meanwhile.
  usb.dev->cancelSlowWaits = 2;
  EXPECT_FALSE(usb.device.Write(frame, 3, 5000));
  EXPECT_TRUE(usb.dev->inFlight);
  usb.dev->Send({0x06});
  EXPECT_EQ(usb.device.Read(buffer, 16, 100), 0);
  EXPECT_EQ(usb.dev->overlapped, 0);

  // Once the cancelled write has ended, transfers run again.
  usb.dev->stallOut = false;
  usb.dev->cancelSlowWaits = 0;
  EXPECT_EQ(usb.device.Read(buffer, 16, 100), 1);
  EXPECT_TRUE(usb.device.Write(frame, 3, 5000));
  EXPECT_EQ(usb.dev->fromHost, std::vector<uint8_t>({1, 2, 3}));

  // Closing with a transfer in flight cancels it and lets go of the device
  // only once the transfer has ended.
  usb.dev->stallOut = true;
  usb.dev->cancelSlowWaits = 5;
  EXPECT_FALSE(usb.device.Write(frame, 3, 5000));
  EXPECT_TRUE(usb.dev->inFlight);
  usb.device.Close();
  EXPECT_FALSE(usb.dev->inFlight);
  EXPECT_EQ(usb.dev->closedInFlight, 0);
  EXPECT_FALSE(usb.dev->open);

  // A transfer that never ends keeps the device until it has.
  ASSERT_TRUE(usb.device.Open());
  usb.dev->cancelSlowWaits = 1000000;
  EXPECT_FALSE(usb.device.Write(frame, 3, 5000));
  usb.device.Close();
  EXPECT_FALSE(usb.device.IsOpen());
  EXPECT_TRUE(usb.dev->inFlight);
  EXPECT_EQ(usb.dev->closedInFlight, 0);
  EXPECT_TRUE(usb.dev->open) << "the transport still holds the transfer";
  EXPECT_FALSE(usb.device.Open()) << "no new transfer on top of the old one";
  EXPECT_EQ(usb.device.OpenResult(), UsbOpen::Failed);

  // Once it has ended, the device opens and transfers run again.
  usb.dev->slowWaitsLeft = 0;
  usb.dev->stallOut = false;
  ASSERT_TRUE(usb.device.Open());
  EXPECT_TRUE(usb.device.Write(frame, 3, 5000));
  EXPECT_EQ(usb.dev->overlapped, 0);
}

// The link with the simulated box behind the fake device.
struct UsbBox {
  std::shared_ptr<FakeUsbDevice> dev = std::make_shared<FakeUsbDevice>();
  sim::ControlBox box;
  CComUsb link{std::make_unique<FakeUsbTransport>(dev)};
  UsbBox() {
    dev->onHostBytes = [this](const uint8_t* data, size_t length) {
      box.Receive(data, length);
      dev->Send(box.TakeAllOutput());
    };
  }
};

TEST(CComUsb, DescriptionFollowsPluggingAndOpenFailsWithItsText) {
  UsbBox usb;
  usb.dev->present = false;
  EXPECT_EQ(usb.link.GetDescription(), "Device not found");
  EXPECT_FALSE(usb.link.Open());
  EXPECT_EQ(usb.link.GetLastErrorText(), "Can't find USB device");

  usb.dev->present = true;
  EXPECT_EQ(usb.link.GetDescription(), "Device found: Disconnected");
  // Present but not ours to use: the message says why, the log has
  // libusb's words.
  test::TempDir logDir;
  SetLog(new CLogFile(logDir / "SkyHarvester.log", true));
  GetLog()->Start(true);
  auto fails = [&](bool& flag, const std::string& text) {
    flag = true;
    EXPECT_FALSE(usb.link.Open());
    EXPECT_EQ(usb.link.GetLastErrorText(), text);
    flag = false;
  };
  fails(usb.dev->openFails, "Can't find USB device");
  fails(usb.dev->openRefused,
        "USB device found but access was refused: install the udev rule 70-skyharvester.rules "
        "in /etc/udev/rules.d and plug the device in again");
  fails(usb.dev->openBusy, "USB device found but it is in use by another program");
  const std::string log = test::ReadFile(logDir / "SkyHarvester.log");
  SetLog(nullptr);
  EXPECT_NE(log.find("USB device: libusb_open: LIBUSB_ERROR_ACCESS"), std::string::npos) << log;
  EXPECT_NE(log.find("USB device: libusb_claim_interface: LIBUSB_ERROR_BUSY"), std::string::npos) << log;

  EXPECT_TRUE(usb.link.Open());
  EXPECT_EQ(usb.link.GetLastErrorText(), "");
  EXPECT_EQ(usb.link.GetDescription(), "Device found: Connected");
  EXPECT_TRUE(usb.link.Close());
  EXPECT_FALSE(usb.dev->open);
  EXPECT_EQ(usb.link.GetDescription(), "Device found: Disconnected");
  uint8_t b[4] = {};
  EXPECT_FALSE(usb.link.Write(b, 4));  // closed: nothing is sent
  EXPECT_EQ(usb.link.Read(b, 100), 0);
  EXPECT_EQ(usb.dev->submits, 0);
}

TEST(CComUsb, SilenceCancelsTheReadAndFailedWritesGiveFour) {
  UsbBox usb;
  ASSERT_TRUE(usb.link.Open());
  uint8_t buffer[kLinkChunkBytes];
  int cancelsBefore = usb.dev->inCancels;
  EXPECT_EQ(usb.link.Read(buffer, 3000), 0);
  EXPECT_EQ(usb.dev->inCancels, cancelsBefore + 1);
  EXPECT_FALSE(usb.dev->inFlight);
  usb.dev->Send({0x06});  // nothing was left in flight: a later byte is read
  EXPECT_EQ(usb.link.Read(buffer, 3000), 1);
  // Stale bytes, more than one read's worth, are all dropped.
  usb.dev->Send(std::vector<uint8_t>(6000, 0x15));
  usb.link.DiscardReceived();
  EXPECT_TRUE(usb.dev->toHost.empty());

  int64_t t = 0;
  usb.dev->failOut = true;
  EXPECT_EQ(usb.link.GetDateTime(t), ComResult::kWriteFailed);
  usb.dev->failOut = false;
  usb.dev->stallOut = true;  // the OUT pipe takes nothing: the write times out
  EXPECT_EQ(usb.link.GetDateTime(t), ComResult::kWriteFailed);
  usb.dev->stallOut = false;
  EXPECT_EQ(usb.link.GetDateTime(t), ComResult::kOk);
  EXPECT_EQ(usb.dev->overlapped, 0);
}

// libusb itself, on devices that umockdev makes up (sysfs and the node).
TEST(LibUsbUnderUmockdev, FindsOpensAndClaimsOnlyTheControlBox) {
  if (!test::UnderUmockdev()) {
    if (!test::UmockdevAvailable()) GTEST_SKIP() << "umockdev-run cannot be used here";
    const std::string dir = std::string(SKYH_SOURCE_DIR) + "/tests/link/";
    const std::string filter = "LibUsbUnderUmockdev.*";
    EXPECT_EQ(test::RunSelfUnderUmockdev(dir + "usb_box.umockdev", filter, "box"), 0);
    EXPECT_EQ(test::RunSelfUnderUmockdev(dir + "usb_other.umockdev", filter, "other"), 0);
    return;
  }
  const bool box = test::UmockdevCase() == "box";
  LibUsbTransport transport;
  EXPECT_EQ(transport.IsPresent(0x04DE, 0xF586), box);
  EXPECT_EQ(transport.IsPresent(0x04DE, 0xF587), !box);
  CComUsb link;
  EXPECT_EQ(link.GetDescription(), box ? "Device found: Disconnected" : "Device not found");
  EXPECT_EQ(link.Open(), box);
  EXPECT_EQ(box ? link.GetDescription() : link.GetLastErrorText(),
            box ? "Device found: Connected" : "Can't find USB device");
  EXPECT_TRUE(link.Close());
}

}  // namespace
}  // namespace skyh
