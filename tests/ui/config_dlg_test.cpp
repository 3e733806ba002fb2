// The configuration dialog: the port list, the live checks and what OK stores.
#include "core/time_util.h"
#include "dialog_boxes_recorder.h"
#include "runner/ui_test.h"
#include "ui/dialogs/config_dlg.h"

namespace skyh::ui {
namespace {

SerialPortLister Ports(const std::vector<std::string>& names) {
  return [names] { return names; };
}

template <typename T = QWidget>
T* Child(QWidget& dialog, const char* name) { return dialog.findChild<T*>(name); }

int64_t FixedNowMs() { return FieldsToTime(2031, 5, 6, 7, 8, 9) * 1000; }

}  // namespace

class ConfigDlgTest : public QObject {
  Q_OBJECT

 private slots:
  void PortListKeepsTheConfiguredLinkWhenItsPortIsAbsent() {
    CConfigDlg none(CConfiguration{}, nullptr, Ports({}));
    QCOMPARE(Child<QComboBox>(none, "linkType")->count(), 1);

    // An adapter unplugged while the operator edits something else.
    CConfiguration serial;
    serial.linkType = kLinkSerial;
    serial.port = "/dev/ttyUSB3";
    for (const auto& ports : {std::vector<std::string>{}, {"/dev/ttyS1"}}) {
      CConfigDlg unplugged(serial, nullptr, Ports(ports));
      QCOMPARE(Child<QComboBox>(unplugged, "port")->currentText(), QString("/dev/ttyUSB3 (not present)"));
      unplugged.accept();
      QCOMPARE(unplugged.Configuration().linkType, uint8_t(kLinkSerial));
      QCOMPARE(unplugged.Configuration().port, serial.port);
    }

    // Natural order, stable names last, the configured one chosen.
    serial.port = "COM1";
    CConfigDlg natural(serial, nullptr, Ports({"/dev/serial/by-id/usb-Box-if00", "COM10", "COM2", "COM1"}));
    auto* port = Child<QComboBox>(natural, "port");
    QCOMPARE(port->itemText(2), QString("COM10"));
    QCOMPARE(port->currentText(), QString("COM1"));
    port->setCurrentIndex(3);
    natural.accept();
    QCOMPARE(natural.Configuration().port, std::string("/dev/serial/by-id/usb-Box-if00"));

    // A device server's name is typed, and shown as it is when configured.
    QVERIFY(port->isEditable());
    port->setEditText(" rfc2217://[::1]:4001 ");
    natural.accept();
    QCOMPARE(natural.Configuration().port, std::string("rfc2217://[::1]:4001"));
    serial.port = "socket://box1:4001";
    CConfigDlg network(serial, nullptr, Ports({"/dev/ttyS1"}));
    QCOMPARE(Child<QComboBox>(network, "port")->currentText(), QString("socket://box1:4001"));
    network.accept();
    QCOMPARE(network.Configuration().port, serial.port);
  }

  void LiveChecksWhileTyping() {
    CConfiguration config;
    config.periodDays = 3;
    CConfigDlg dialog(config, nullptr, Ports({"/dev/ttyS0"}));
    auto* days = Child<QLineEdit>(dialog, "days");
    days->setText("11");
    QCOMPARE(days->text(), QString("3"));
    days->clear();
    Child<QLineEdit>(dialog, "maxDays")->setText("31");
    QCOMPARE(Child<QLineEdit>(dialog, "maxDays")->text(), QString("1"));

    auto* phone = Child<QLineEdit>(dialog, "phone");
    QTest::keyClicks(phone, "+33 1*2");
    QCOMPARE(phone->text(), QString("+331*2"));
    phone->setText("1+2a#");
    dialog.accept();
    QCOMPARE(dialog.Configuration().periodDays, uint8_t(1));
    QCOMPARE(dialog.Configuration().phoneNumber, std::string("12#"));

    SetNowFunctionForTesting(FixedNowMs);
    qputenv("TZ", "UTC");
    tzset();
    Child<QLineEdit>(dialog, "prefix")->setText("X%HEAD%_");
    auto* example = Child<QLabel>(dialog, "example");
    Child<QRadioButton>(dialog, "filesPeriod1")->click();
    QCOMPARE(example->text(), QString("X0000_20140701.k8"));
    Child<QRadioButton>(dialog, "filesPeriod4")->click();
    Child<QLineEdit>(dialog, "prefix")->setText("P");
    QCOMPARE(example->text(), QString("P20310506070809.k8"));
    SetNowFunctionForTesting(nullptr);
  }

  void EnableGreysButStillSavesAndLongPathsAreRefused() {
    DialogBoxesRecorder boxes;
    CConfiguration config;
    config.automaticEnabled = 1;
    config.createK8 = 0;
    config.retrievalPeriod = 3;
    config.configurationDirectory = "/etc/par";
    CConfigDlg dialog(config, nullptr, Ports({}));
    Child<QCheckBox>(dialog, "enable")->click();
    for (const char* name : {"period", "startTime", "createK8", "createAscii", "days"})
      QVERIFY2(!Child(dialog, name)->isEnabled(), name);

    auto* files = Child<QLineEdit>(dialog, "filesDirectory");
    files->setText(QString(260, 'a'));
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(boxes.LastText().contains("files directory is longer than 259 characters"));
    QCOMPARE(dialog.Configuration(), config);

    files->setText(QString(259, 'a'));
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    const CConfiguration& out = dialog.Configuration();
    QCOMPARE(out.automaticEnabled + out.createK8, 0);
    QCOMPARE(out.retrievalPeriod, uint8_t(3));
    QCOMPARE(out.configurationDirectory, std::string("/etc/par/"));
  }
};

SKYH_UI_TEST(ConfigDlgTest);

}  // namespace skyh::ui

#include "config_dlg_test.moc"
