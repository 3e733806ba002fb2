// The firmware dialog running updates against the in-process simulated box.
#include "dialog_boxes_recorder.h"
#include "protocol/firmware_recorders.h"
#include "runner/ui_test.h"
#include "support/box_link.h"
#include "ui/dialogs/update_firmware_dlg.h"

namespace skyh::ui {
namespace {

sim::BoxOptions Box() {
  sim::BoxOptions o;
  o.boot.hasVersionAfterUpdate = true;
  o.boot.versionAfterUpdate = {2, 5, 0};
  return o;
}

struct Fixture {
  DialogBoxesRecorder boxes;
  test::FirmwareFixture firmware;
  test::TempDir settings;
  test::BoxLink link{Box()};
  LinkSession session{link};
  CUpdateFirmwareDlg dialog{[this] { return &session; }, CConfiguration{},
                            settings / "SkyHarvester.ini"};

  Fixture() {
    dialog.SetUpdateOptions(firmware.Options());
    boxes.openFile = QString::fromStdString(firmware.dir / "update.phx");
    dialog.OnBrowse();
  }
  QString Text(const char* name) { return dialog.findChild<QLabel*>(name)->text(); }
  void RunToEnd() {
    boxes.answers = {false, true};  // no backup, Yes to the update
    dialog.OnUpdate();
    QVERIFY(QTest::qWaitFor([&] { return !dialog.Running(); }, 60000));
    QCoreApplication::processEvents();
  }
};

}  // namespace

class FirmwareDlgTest : public QObject {
  Q_OBJECT

 private slots:
  void AnUpdateRunsToSuccess() {
    Fixture f;
    QCOMPARE(f.Text("fileVersion") + f.Text("fileSize") + f.Text("deviceVersion"), QString("2.5.019 Kbytes--"));
    QCOMPARE(f.dialog.findChild<QStatusBar*>()->currentMessage(), QString("Simulated box"));
    f.RunToEnd();
    QCOMPARE(f.Text("status"), QString("Update: SUCCESS"));
    QCOMPARE(f.Text("deviceVersion") + " " + f.Text("bootVersion"), QString("2.1.0 2.0"));
    QCOMPARE(f.link.box.firmware(), (sim::FirmwareVersion{2, 5, 0}));
    QCOMPARE(f.boxes.LastText(), QString("Update firmware from version 2.1.0 to version 2.5.0 :\nSUCCESS"));
  }

  void CancelDuringTheBlocksAborts() {
    Fixture f;
    // At the third block the operator presses Cancel and answers Yes.
    f.link.filter = [&](std::vector<uint8_t>&) {
      if (f.link.Frames(0x23).size() == 3 && f.boxes.asked.size() == 2)
        QMetaObject::invokeMethod(&f.dialog, [&] { f.dialog.OnCancel(); }, Qt::BlockingQueuedConnection);
    };
    f.RunToEnd();
    QCOMPARE(f.boxes.asked.back().text, QString("Do you want to stop the firmware update?"));
    QCOMPARE(f.Text("status"), QString("Update: ABORTED"));
    QCOMPARE(f.boxes.shown.back().icon, QMessageBox::Warning);
    QCOMPARE(f.link.Frames(0x23).size(), size_t(3));
    QVERIFY(!f.link.IsConnected());
    f.dialog.show();
    f.dialog.OnCancel();  // nothing runs: it closes
    QVERIFY(!f.dialog.isVisible());
  }
};

SKYH_UI_TEST(FirmwareDlgTest);

}  // namespace skyh::ui

#include "firmware_dlg_test.moc"
