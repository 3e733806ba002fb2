// Writes pictures of the dialogs for the README and for a look at their
// layout: skyharvester-dialog-shots OUTPUT_FOLDER SUFFIX.
#include <QApplication>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <string>

#include "demo_instrument.h"
#include "link/ccom_serial.h"
#include "records/settings_area.h"
#include "settings/build_settings_items.h"
#include "ui/dialogs/config_dlg.h"
#include "ui/dialogs/settings_dlg.h"
#include "ui/dialogs/time_dlg.h"
#include "ui/dialogs/update_firmware_dlg.h"

namespace {

bool Save(QWidget& widget, const QString& path) {
  widget.show();
  QApplication::processEvents();
  widget.adjustSize();
  QApplication::processEvents();
  const bool ok = widget.grab().save(path);
  std::printf("%s %s\n", ok ? "wrote" : "could not write", path.toLocal8Bit().constData());
  widget.hide();
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER SUFFIX\n", argv[0]);
    return 1;
  }
  const QString out = QString(argv[1]) + "/";
  const QString suffix = argv[2];
  using namespace skyh;
  using namespace skyh::ui;
  bool ok = true;

  CConfiguration config;
  config.configurationDirectory = "/usr/share/skyharvester/Par/";
  config.outputDirectory = "/home/station/Documents/SkyHarvester/";
  config.automaticEnabled = 1;
  config.retrievalPeriod = 7;
  config.periodDays = 2;
  config.filesPeriod = 1;
  config.linkType = kLinkModem;
  config.port = "/dev/ttyUSB0";
  config.phoneNumber = "+33612345678";
  CConfigDlg configDlg(config, nullptr, [] {
    return std::vector<std::string>{"/dev/ttyS0", "/dev/ttyUSB1", "/dev/serial/by-id/usb-FTDI_Box_A1-if00-port0"};
  });
  auto* tabs = configDlg.findChild<QTabWidget*>("tabs");
  const char* const tabNames[] = {"general", "data", "communication"};
  for (int i = 0; i < 3; ++i) {
    tabs->setCurrentIndex(i);
    ok &= Save(configDlg, out + "config-" + tabNames[i] + suffix + ".png");
  }

  CTimeDlg timeDlg(LinkProvider{});
  ok &= Save(timeDlg, out + "time" + suffix + ".png");

  const std::string demo = SKYH_SOURCE_DIR "/demo/";
  const std::vector<uint8_t> record = sim::MakeDemoSettingsRecord(1234, 0);
  auto items = BuildSettingsItems(demo + "ParDesc.dat", demo + "SPD7FF0201.par", SettingsAreaOf(record));
  if (items) {
    CSettingsDlg settingsDlg(*items);
    settingsDlg.show();
    QApplication::processEvents();
    const bool shot = settingsDlg.grab().save(out + "settings" + suffix + ".png");
    std::printf("%s settings%s.png\n", shot ? "wrote" : "could not write", suffix.toLocal8Bit().constData());
    ok &= shot;
  }

  CComSerial serial;
  serial.SetPortName("/dev/ttyUSB0");
  LinkSession serialSession(serial);
  CUpdateFirmwareDlg firmwareDlg([&] { return &serialSession; }, config, "/nonexistent/SkyHarvester.ini");
  ok &= Save(firmwareDlg, out + "firmware" + suffix + ".png");
  return ok ? 0 : 1;
}
