// The window's dialogs on their own: configuration, time and date (against
// the in-process simulated box), the settings editor with its edit dialog
// and .set files, and the firmware update.
#include <future>

#include "core/time_util.h"
#include "protocol/firmware_recorders.h"
#include "ui/dialogs/edit_setting_dlg.h"
#include "ui/runner/ui_test.h"

namespace skyh::ui {
namespace {

template <typename T = QWidget>
T* Child(QWidget& dialog, const char* name) {
  return dialog.findChild<T*>(name);
}

SerialPortLister Ports(const std::vector<std::string>& names) {
  return [names] { return names; };
}

const int64_t kHostUtc = FieldsToTime(2030, 3, 4, 5, 6, 7);
int64_t hostNowMs = kHostUtc * 1000;  // the host clock of the time dialog
int64_t HostNowMs() { return hostNowMs; }

// Whether another thread could take a lease now.
bool LockFree(LinkSession& session) {
  return std::async(std::launch::async, [&] { return session.Acquire(0).Error() != LeaseError::kBusy; }).get();
}

// A box whose boot loader reports 2.5.0 after an update, a firmware file of
// 2.5.0 chosen in the dialog.
struct FirmwareFixture {
  DialogBoxesRecorder boxes;
  test::FirmwareFixture firmware;
  test::TempDir settings;
  test::BoxLink link{[] {
    sim::BoxOptions o;
    o.boot.hasVersionAfterUpdate = true;
    o.boot.versionAfterUpdate = {2, 5, 0};
    return o;
  }()};
  LinkSession session{link};
  CUpdateFirmwareDlg dialog{[this] { return &session; }, CConfiguration{}, settings / "SkyHarvester.ini"};

  FirmwareFixture() {
    dialog.SetUpdateOptions(firmware.Options());
    boxes.openFile = QString::fromStdString(firmware.dir / "update.phx");
    dialog.OnBrowse();
  }
  QString Text(const char* name) { return Child<QLabel>(dialog, name)->text(); }
  bool RunToEnd() {
    boxes.answers = {false, true};  // no backup, Yes to the update
    dialog.OnUpdate();
    const bool ended = QTest::qWaitFor([&] { return !dialog.Running(); }, 60000);
    QCoreApplication::processEvents();
    return ended;
  }
};

}  // namespace

class DialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { SetNowFunctionForTesting(nullptr); }

  void ConfigPortListKeepsTheConfiguredLinkWhenItsPortIsAbsent() {
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
      QVERIFY(unplugged.Configuration().linkType == kLinkSerial && unplugged.Configuration().port == serial.port);
    }

    // Natural order, stable names last, the configured one chosen.
    serial.port = "COM1";
    CConfigDlg natural(serial, nullptr, Ports({"/dev/serial/by-id/usb-Box-if00", "COM10", "COM2", "COM1"}));
    auto* port = Child<QComboBox>(natural, "port");
    QVERIFY(port->itemText(2) == "COM10" && port->currentText() == "COM1");
    port->setCurrentIndex(3);
    natural.accept();
    QCOMPARE(natural.Configuration().port, std::string("/dev/serial/by-id/usb-Box-if00"));

    // A device server's name is typed, and shown as it is when configured.
    port->setEditText(" rfc2217://[::1]:4001 ");
    natural.accept();
    QCOMPARE(natural.Configuration().port, std::string("rfc2217://[::1]:4001"));
    serial.port = "socket://box1:4001";
    CConfigDlg network(serial, nullptr, Ports({"/dev/ttyS1"}));
    QCOMPARE(Child<QComboBox>(network, "port")->currentText(), QString("socket://box1:4001"));
  }

  void ConfigChecksWhileTypingGreysAndRefusesLongPaths() {
    DialogBoxesRecorder boxes;
    CConfiguration config;
    config.automaticEnabled = 1;
    config.retrievalPeriod = config.periodDays = 3;
    config.configurationDirectory = "/etc/par";
    CConfigDlg dialog(config, nullptr, Ports({"/dev/ttyS0"}));
    // Switching the automatic retrieval off greys its fields, which still save.
    Child<QCheckBox>(dialog, "enable")->click();
    for (const char* name : {"period", "startTime", "createK8", "createAscii", "days"})
      QVERIFY2(!Child(dialog, name)->isEnabled(), name);
    auto* files = Child<QLineEdit>(dialog, "filesDirectory");
    files->setText(QString(260, 'a'));
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(boxes.LastText().contains("files directory is longer than 259 characters"));
    QCOMPARE(dialog.Configuration(), config);
    // Out-of-range digits are not taken.
    auto typed = [&](const char* name, const QString& text) {
      Child<QLineEdit>(dialog, name)->setText(text);
      return Child<QLineEdit>(dialog, name)->text();
    };
    QCOMPARE(typed("days", "11"), QString("3"));
    typed("days", "");
    QCOMPARE(typed("maxDays", "31"), QString("1"));
    auto* phone = Child<QLineEdit>(dialog, "phone");
    QTest::keyClicks(phone, "+33 1*2");
    QCOMPARE(phone->text(), QString("+331*2"));
    phone->setText("1+2a#");

    // The file name example follows the prefix and the files' period.
    Child<QLineEdit>(dialog, "prefix")->setText("X%HEAD%_");
    Child<QRadioButton>(dialog, "filesPeriod1")->click();
    QCOMPARE(Child<QLabel>(dialog, "example")->text(), QString("X0000_20140701.k8"));

    files->setText(QString(259, 'a'));
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    const CConfiguration& out = dialog.Configuration();
    QVERIFY(out.automaticEnabled == 0 && out.createK8 == 1 && out.retrievalPeriod == 3 && out.periodDays == 1);
    QCOMPARE(out.phoneNumber, std::string("12#"));
    QCOMPARE(out.configurationDirectory, std::string("/etc/par/"));
  }

  void TimeGetAndSetUnderTheLockOnTheLinkActiveAtThePress() {
    DialogBoxesRecorder boxes;
    SetNowFunctionForTesting(HostNowMs);
    test::BoxLink first;
    first.openError = "no adapter";
    sim::BoxOptions ahead;
    ahead.clockOffsetSeconds = 3600;
    test::BoxLink box(ahead, [] { return HostNowMs() / 1000; });
    LinkSession firstSession(first), boxSession(box);
    LinkSession* active = &firstSession;
    CTimeDlg dialog([&] { return active; });
    auto* useSystem = Child<QCheckBox>(dialog, "useSystemTime");
    auto* date = Child<QDateEdit>(dialog, "date");
    useSystem->click();
    dialog.OnGetTime();
    QCOMPARE(boxes.LastText(), QString("Can't find Photometer"));

    // The configuration chose another link meanwhile.
    active = &boxSession;
    bool lockedDuringExchange = false;
    box.filter = [&](std::vector<uint8_t>&) { lockedDuringExchange = !LockFree(boxSession); };
    dialog.OnGetTime();
    box.filter = nullptr;
    QVERIFY(lockedDuringExchange && LockFree(boxSession) && !box.IsConnected());
    QCOMPARE(boxes.LastText(), QString("Get time/date ok"));
    QVERIFY(!useSystem->isChecked() && date->isEnabled());
    QCOMPARE(dialog.PickedTime(), kHostUtc + 3600);

    // Set sends the system time of the last tick.
    useSystem->click();
    hostNowMs += 42000;
    QVERIFY(QTest::qWaitFor([&] { return dialog.PickedTime() == kHostUtc + 42; }));
    dialog.OnSetTime();
    QCOMPARE(boxes.LastText(), QString("Set time/date ok"));
    QCOMPARE(box.box.clockOffsetSeconds(), int64_t(0));

    // A box that never answers leaves the pickers.
    useSystem->click();
    date->setDate(QDate(2044, 4, 4));
    box.filter = [](std::vector<uint8_t>& bytes) { bytes.clear(); };
    dialog.OnGetTime();
    QCOMPARE(boxes.shown.back().title + boxes.LastText(), QString("ErrorGet time/date error"));
    QCOMPARE(date->date(), QDate(2044, 4, 4));
    dialog.OnSetTime();
    QCOMPARE(boxes.LastText(), QString("Set time/date error"));
  }

  void SettingsToggleEditSaveAndLoad() {
    DialogBoxesRecorder boxes;
    test::TempDir dir;
    const std::vector<uint8_t> record = sim::MakeDemoSettingsRecord(12345, 0);
    auto items = Items(record);
    CSettingsDlg editor(*items);
    const QModelIndex heat = editor.List()->model()->index(9, 1);  // HEAT, "no"
    editor.OnDoubleClick(heat);
    QVERIFY(heat.data().toString() == "yes" && editor.windowTitle() == "Settings modified *");

    CEditSettingDlg edit(*FindItemByKey(*items, "MINT"));
    auto* value = Child<QLineEdit>(edit, "value");
    for (auto [text, message] : {std::pair{"0", "Value too low"}, {"2000", "Value too high"}, {"x", "Invalid value"}}) {
      value->setText(text);
      edit.accept();
      QVERIFY2(boxes.LastText() == message && edit.result() == QDialog::Rejected, text);
    }
    value->setText("30");
    edit.accept();
    QCOMPARE(edit.result(), int(QDialog::Accepted));
    boxes.saveFile = QString::fromStdString(dir / "saved.set");
    editor.OnSave();
    QCOMPARE(boxes.proposedName, QString("Settings_12345.set"));

    // Loading what is there already still counts as a change.
    auto fresh = Items(record);
    CSettingsDlg loader(*fresh);
    test::WriteFile(dir / "same.set", "[Settings]\nMeasureInterval=15\n");
    boxes.openFile = QString::fromStdString(dir / "same.set");
    loader.OnLoad();
    QVERIFY(loader.Modified());
    boxes.openFile = boxes.saveFile;
    loader.OnLoad();
    QCOMPARE(FindItemByKey(*fresh, "MINT")->GetValueText() + FindItemByKey(*fresh, "HEAT")->GetValueText(),
             std::string("30yes"));
  }

  void FirmwareUpdateRunsToSuccess() {
    FirmwareFixture f;
    QCOMPARE(f.Text("fileVersion") + f.Text("fileSize") + f.Text("deviceVersion"), QString("2.5.019 Kbytes--"));
    QCOMPARE(f.dialog.findChild<QStatusBar*>()->currentMessage(), QString("Simulated box"));
    QVERIFY(f.RunToEnd());
    QCOMPARE(f.Text("status"), QString("Update: SUCCESS"));
    QCOMPARE(f.Text("deviceVersion") + " " + f.Text("bootVersion"), QString("2.1.0 2.0"));
    QCOMPARE(f.link.box.firmware(), (sim::FirmwareVersion{2, 5, 0}));
    QCOMPARE(f.boxes.LastText(), QString("Update firmware from version 2.1.0 to version 2.5.0 :\nSUCCESS"));
  }

  void FirmwareCancelDuringTheBlocksAborts() {
    FirmwareFixture f;
    // At the third block the operator presses Cancel and answers Yes.
    f.link.filter = [&](std::vector<uint8_t>&) {
      if (f.link.Frames(0x23).size() == 3 && f.boxes.asked.size() == 2)
        QMetaObject::invokeMethod(
            &f.dialog, [&] { f.dialog.OnCancel(); }, Qt::BlockingQueuedConnection);
    };
    QVERIFY(f.RunToEnd());
    QCOMPARE(f.boxes.asked.back().text, QString("Do you want to stop the firmware update?"));
    QVERIFY(f.Text("status") == "Update: ABORTED" && f.boxes.shown.back().icon == QMessageBox::Warning);
    QVERIFY(f.link.Frames(0x23).size() == 3 && !f.link.IsConnected());
    f.dialog.show();
    f.dialog.OnCancel();  // nothing runs: it closes
    QVERIFY(!f.dialog.isVisible());
  }
};

}  // namespace skyh::ui

QTEST_MAIN(skyh::ui::DialogsTest)

#include "dialogs_test.moc"
