// The four dialog commands opened from the window's menu, and the board
// commands behind the progress dialog.
#include <QApplication>
#include <QMenuBar>
#include <QTimer>

#include "dialog_boxes_recorder.h"
#include "settings/settings_sender.h"
#include "runner/ui_test.h"
#include "runner/window_fixture.h"
#include "support/box_link.h"
#include "ui/dialogs/config_dlg.h"
#include "ui/dialogs/settings_dlg.h"
#include "ui/dialogs/time_dlg.h"
#include "ui/dialogs/update_firmware_dlg.h"

namespace skyh::ui {
namespace {

// Triggers the menu entry; `handle` gets the modal dialog it opened (null
// when it is not a D) and ends it. The window's Busy() while it was open.
struct Opened {
  bool seen = false;
  bool busy = false;
};

template <typename D>
Opened FromMenu(CSkyHarvesterDlg& w, const QString& entry, std::function<void(D&)> handle) {
  Opened opened;
  QTimer timer;  // goes with this call when no dialog opened
  timer.setSingleShot(true);
  QObject::connect(&timer, &QTimer::timeout, &w, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    opened.busy = w.Busy();
    if (auto* d = qobject_cast<D*>(modal)) {
      opened.seen = true;
      handle(*d);
    } else if (auto* other = qobject_cast<QDialog*>(modal)) {
      other->reject();
    }
  });
  timer.start(0);
  for (QAction* a : w.menuBar()->findChildren<QAction*>())
    if (a->text() == entry) a->trigger();
  return opened;
}

}  // namespace

class WindowDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void ConfigurationAppliesOnOkOnly() {
    WindowFixture f;
    CSkyHarvesterDlg& w = *f.w;
    const std::string before = test::ReadFile(f.paths.iniPath);
    auto cancelled = FromMenu<CConfigDlg>(w, "&Configuration", [](CConfigDlg& d) {
      d.findChild<QCheckBox*>("viewUnknown")->setChecked(true);
      d.reject();
    });
    QVERIFY(cancelled.seen && cancelled.busy);
    QVERIFY(w.Config().viewUnknown == 0 && test::ReadFile(f.paths.iniPath) == before);

    auto accepted = FromMenu<CConfigDlg>(w, "&Configuration", [](CConfigDlg& d) {
      d.findChild<QCheckBox*>("viewUnknown")->setChecked(true);
      d.findChild<QLineEdit*>("prefix")->setText("station7");
      d.accept();
    });
    QVERIFY(accepted.seen && accepted.busy && !w.Busy());
    QCOMPARE(w.Config().baseName, std::string("station7"));
    const std::string ini = test::ReadFile(f.paths.iniPath);
    QVERIFY2(ini.find("ViewUnknown=1") != std::string::npos && ini.find("station7") != std::string::npos, ini.c_str());
    QCOMPARE(w.PaneText(0), QString::fromStdString(w.Link().Description()));
  }

  void SettingsTimeAndFirmwareOpen() {
    DialogBoxesRecorder boxes;
    WindowFixture f;
    CSkyHarvesterDlg& w = *f.w;
    auto none = FromMenu<CSettingsDlg>(w, "Settings", [](CSettingsDlg& d) { d.reject(); });
    QVERIFY(!none.seen);
    QCOMPARE(boxes.LastText(), QString("No data in memory"));

    // A toggled value comes back to the store: modified, shown in the title.
    w.OpenFiles({f.DataFile("a.k8")}, true);
    QVERIFY(f.WaitIdle());
    QVERIFY(!w.Modified());
    auto edited = FromMenu<CSettingsDlg>(w, "Settings", [](CSettingsDlg& d) {
      // A yes/no value toggles in place (others open the edit dialog).
      QAbstractItemModel& m = *d.List()->model();
      for (int row = 0; row < m.rowCount(); ++row) {
        if (m.index(row, 1).data().toString() != "no") continue;
        d.OnDoubleClick(m.index(row, 1));
        break;
      }
      d.accept();
    });
    QVERIFY(edited.seen && edited.busy);
    QVERIFY(w.Modified() && w.windowTitle().endsWith(" *"));

    // Sent after closing: behind the window's progress dialog, then usable.
    test::BoxLink box;
    box.box.memory().SetSettings(SettingsRecordOf(w.Store()));
    w.Link().UseLink(&box);
    auto sent = FromMenu<CSettingsDlg>(w, "Settings", [](CSettingsDlg& d) {
      d.findChild<QCheckBox*>("sendAfterClosing")->setChecked(true);
      d.accept();
    });
    QVERIFY(sent.seen && w.Busy() && w.Progress().isVisible() && !w.menuBar()->isEnabled());
    QVERIFY(f.WaitIdle());
    QVERIFY(w.menuBar()->isEnabled() && !box.Frames(0x48).empty());
    QCOMPARE(box.box.memory().settings(), SettingsRecordOf(w.Store()));

    auto time = FromMenu<CTimeDlg>(w, "Set time", [](CTimeDlg& d) { d.reject(); });
    QVERIFY(time.seen);
    auto firmware = FromMenu<CUpdateFirmwareDlg>(w, "Update firmware", [](CUpdateFirmwareDlg& d) { d.reject(); });
    QVERIFY(firmware.seen && firmware.busy && !w.Busy());
  }

  void BoardCommandsRunBehindTheProgressDialog() {
    WindowFixture f;
    CSkyHarvesterDlg& w = *f.w;
    test::BoxLink box;
    w.Link().UseLink(&box);
    w.OnResetBoard();
    QVERIFY(w.Busy() && w.Progress().isVisible());
    QVERIFY(f.WaitIdle());
    QVERIFY(w.menuBar()->isEnabled());
    QCOMPARE(f.messages.last(), QString("Info|Reset board success"));
  }
};

SKYH_UI_TEST(WindowDialogsTest);

}  // namespace skyh::ui

#include "window_dialogs_test.moc"
