// The configuration dialog: the port list, the live checks and what OK stores.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include "core/time_util.h"
#include "dialog_boxes_recorder.h"
#include "runner/ui_test.h"
#include "ui/dialogs/config_dlg.h"

namespace skyh::ui {
namespace {

SerialPortLister Ports(std::vector<std::string> names) {
  return [names] { return names; };
}

template <typename T>
T* Child(QWidget& dialog, const char* name) {
  T* child = dialog.findChild<T*>(name);
  if (!child) qFatal("no control %s", name);
  return child;
}

QStringList Entries(QComboBox* box) {
  QStringList out;
  for (int i = 0; i < box->count(); ++i) out << box->itemText(i);
  return out;
}

int64_t FixedNowMs() { return FieldsToTime(2031, 5, 6, 7, 8, 9) * 1000; }

}  // namespace

class ConfigDlgTest : public QObject {
  Q_OBJECT

 private slots:
  void PortListKeepsTheConfiguredLinkWhenItsPortIsAbsent() {
    CConfiguration usb;
    CConfigDlg none(usb, nullptr, Ports({}));
    QCOMPARE(Entries(Child<QComboBox>(none, "linkType")), QStringList{"USB"});

    // An adapter unplugged while the operator edits something else: the link
    // stays serial on its own port.
    CConfiguration serial;
    serial.linkType = kLinkSerial;
    serial.port = "/dev/ttyUSB3";
    CConfigDlg unplugged(serial, nullptr, Ports({}));
    QCOMPARE(Child<QComboBox>(unplugged, "port")->currentText(), QString("/dev/ttyUSB3 (not present)"));
    unplugged.accept();
    QCOMPARE(unplugged.Configuration().linkType, uint8_t(kLinkSerial));
    QCOMPARE(unplugged.Configuration().port, std::string("/dev/ttyUSB3"));

    CConfigDlg others(serial, nullptr, Ports({"/dev/ttyS1"}));
    others.accept();
    QCOMPARE(others.Configuration().port, std::string("/dev/ttyUSB3"));

    // Natural order, stable names last, the configured one chosen.
    serial.port = "COM1";
    CConfigDlg natural(serial, nullptr, Ports({"/dev/serial/by-id/usb-Box-if00", "COM10", "COM2", "COM1"}));
    auto* port = Child<QComboBox>(natural, "port");
    QCOMPARE(Entries(port), (QStringList{"COM1", "COM2", "COM10", "/dev/serial/by-id/usb-Box-if00"}));
    QCOMPARE(port->currentText(), QString("COM1"));
    port->setCurrentIndex(3);
    natural.accept();
    QCOMPARE(natural.Configuration().port, std::string("/dev/serial/by-id/usb-Box-if00"));
  }

  void LiveChecksWhileTyping() {
    CConfiguration config;
    config.periodDays = 3;
    config.retrievalPeriod = 7;
    CConfigDlg dialog(config, nullptr, Ports({"/dev/ttyS0"}));
    auto* days = Child<QLineEdit>(dialog, "days");
    days->setText("11");
    QCOMPARE(days->text(), QString("3"));
    QTest::keyClicks(days, "x");
    QCOMPARE(days->text(), QString("3"));
    days->clear();
    QCOMPARE(days->text(), QString());
    auto* maxDays = Child<QLineEdit>(dialog, "maxDays");
    maxDays->setText("31");
    QCOMPARE(maxDays->text(), QString("1"));
    maxDays->setText("30");

    auto* phone = Child<QLineEdit>(dialog, "phone");
    QTest::keyClicks(phone, "+33 1*2");
    QCOMPARE(phone->text(), QString("+331*2"));
    phone->setText("1+2a#");
    QCOMPARE(phone->text(), QString("12#"));

    dialog.accept();
    QCOMPARE(dialog.Configuration().periodDays, uint8_t(1));
    QCOMPARE(dialog.Configuration().retrieveMaxDays, 30);
    QCOMPARE(dialog.Configuration().phoneNumber, std::string("12#"));
  }

  void ExampleAndFilesPeriod() {
    SetNowFunctionForTesting(FixedNowMs);
    qputenv("TZ", "UTC");
    tzset();
    CConfiguration config;
    config.baseName = "X%HEAD%_";
    CConfigDlg dialog(config, nullptr, Ports({}));
    auto* example = Child<QLabel>(dialog, "example");
    QCOMPARE(example->text(), QString("X0000_.k8"));
    Child<QRadioButton>(dialog, "filesPeriod1")->click();
    QCOMPARE(example->text(), QString("X0000_20140701.k8"));
    Child<QRadioButton>(dialog, "filesPeriod4")->click();
    QCOMPARE(example->text(), QString("X0000_20310506070809.k8"));
    Child<QLineEdit>(dialog, "prefix")->setText("P");
    QCOMPARE(example->text(), QString("P20310506070809.k8"));
    SetNowFunctionForTesting(nullptr);
    dialog.accept();
    QCOMPARE(dialog.Configuration().filesPeriod, uint8_t(4));
    QCOMPARE(dialog.Configuration().baseName, std::string("P"));
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
      QVERIFY2(!Child<QWidget>(dialog, name)->isEnabled(), name);
    QVERIFY(Child<QWidget>(dialog, "filesDirectory")->isEnabled());

    auto* files = Child<QLineEdit>(dialog, "filesDirectory");
    files->setText(QString(260, 'a'));
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(boxes.shown.size(), size_t(1));
    QVERIFY(boxes.LastText().contains("files directory is longer than 259 characters"));
    QCOMPARE(dialog.Configuration(), config);  // nothing written yet

    files->setText(QString(259, 'a'));
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    const CConfiguration& out = dialog.Configuration();
    QCOMPARE(out.automaticEnabled, 0);
    QCOMPARE(out.createK8, 0);
    QCOMPARE(out.retrievalPeriod, uint8_t(3));
    QCOMPARE(out.configurationDirectory, std::string("/etc/par/"));
    QCOMPARE(out.outputDirectory.size(), size_t(259));
  }
};

SKYH_UI_TEST(ConfigDlgTest);

}  // namespace skyh::ui

#include "config_dlg_test.moc"
