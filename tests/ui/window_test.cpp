// The main window: file commands, title and list, the progress dialog, the
// dialogs and board commands from its menu, and its link commands and timer
// against the in-process simulated box.
#include <thread>

#include "protocol/command_codes.h"
#include "settings/settings_sender.h"
#include "ui/models/record_table_model.h"
#include "ui/plot/plot_window.h"
#include "ui/runner/ui_test.h"

namespace skyh::ui {
namespace {

// Triggers the menu entry; `handle` gets the modal dialog it opened when that
// is a D and ends it (another dialog is rejected). Whether a D opened, and
// the window's Busy() while it was open.
template <typename D>
std::pair<bool, bool> FromMenu(CSkyHarvesterDlg& w, const QString& entry, std::function<void(D&)> handle) {
  bool seen = false, busy = false;
  QTimer timer;  // goes with this call when no dialog opened
  timer.setSingleShot(true);
  QObject::connect(&timer, &QTimer::timeout, &w, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    busy = w.Busy();
    if (auto* d = qobject_cast<D*>(modal)) seen = true, handle(*d);
    else if (auto* other = qobject_cast<QDialog*>(modal)) other->reject();
  });
  timer.start(0);
  for (QAction* a : w.menuBar()->findChildren<QAction*>())
    if (a->text() == entry) a->trigger();
  return {seen, busy};
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void FileCommandsKeepTitleAndModified() {
    WindowFixture f("[debug]\nDisableCloseButton=1\n");
    CSkyHarvesterDlg& w = *f.w;
    QVERIFY(!(w.windowFlags() & Qt::WindowCloseButtonHint));
    QString about;
    FromMenu<QMessageBox>(w, "&About ...", [&](QMessageBox& box) { about = box.text(), box.accept(); });
    QCOMPARE(about, QString("SkyHarvester, Version 2.14.4"));
    const QString a = QString::fromStdString(f.DataFile("a.k8")), b = QString::fromStdString(f.DataFile("b.k8"));
    f.files = {a};
    QVERIFY(f.Idle([&] { w.OnOpen(); }));
    const int n = w.Store().Count();
    QVERIFY(n > 0 && w.windowTitle() == "SkyHarvester - a.k8" && w.PaneText(4) == "File loaded.");
    f.files = {b};
    QVERIFY(f.Idle([&] { w.OnAddFile(); }));
    QVERIFY(w.Store().Count() == 2 * n && w.windowTitle() == "SkyHarvester - a.k8 *");
    f.saveName = QString::fromStdString(f.dir / "c.k8");
    w.OnSaveAs();
    QCOMPARE(w.windowTitle(), QString("SkyHarvester - c.k8"));
    f.DeleteFirstRow();
    QVERIFY(w.Store().Count() == 2 * n - 1 && w.windowTitle() == "SkyHarvester - c.k8 *" && f.asked.isEmpty());

    // Open asks about the unsaved data; No drops it.
    f.answer = false;
    f.files = {a};
    QVERIFY(f.Idle([&] { w.OnOpen(); }));
    QCOMPARE(f.asked, QStringList{"Current file is modified\nSave it?"});
    QVERIFY(w.Store().Count() == n && w.windowTitle() == "SkyHarvester - a.k8");

    // Dropping replaces without a question; two files leave no file name,
    // and unsaved data shows in the title all the same.
    f.DeleteFirstRow();
    QVERIFY(f.Idle([&] { w.DropUrls({QUrl::fromLocalFile(a), QUrl::fromLocalFile(b)}); }));
    QVERIFY(f.asked.size() == 1 && w.Store().Count() == 2 * n && w.windowTitle() == "SkyHarvester");
    f.DeleteFirstRow();
    QCOMPARE(w.windowTitle(), QString("SkyHarvester *"));
    w.OnCloseData();
    QVERIFY(w.Store().Count() == 0 && w.windowTitle() == "SkyHarvester" && w.PaneText(4) == "File closed.");
  }

  void ListShowsSortsTruncatesAndDeletesByRow() {
    WindowFixture f;
    CSkyHarvesterDlg& w = *f.w;
    // The first record again at the end: equal in time and bytes, another row.
    QVERIFY(f.Load(f.DataFile("a.k8", [](sim::BoxMemory& m) { m.Append(m.records()[0]); })));
    const RecordStore& s = w.Store();
    RecordTableModel& m = w.Model();
    const int n = s.Count(), unknown = s.UnknownCount();
    QVERIFY(unknown > 0 && m.rowCount() == n - unknown);
    QVERIFY2(w.InfoText().endsWith(QString(" ( %1 unknown").arg(unknown) + (unknown > 1 ? "s )" : "  )")),
             qPrintable(w.InfoText()));
    w.OnDelete();
    QCOMPARE(f.messages, QStringList{"Warning|Select one or more items to delete"});
    const int64_t first = s.At(0)->time(), second = s.At(1)->time();
    QVERIFY(first != second && m.RecordAt(m.rowCount() - 1)->time() == first);
    w.List().selectRow(m.rowCount() - 1);
    w.OnDelete();
    QVERIFY(s.Count() == n - 1 && s.At(0)->time() == first && s.At(1)->time() == second);

    // Sorting the view leaves the store's order.
    std::vector<int64_t> storeTimes(static_cast<size_t>(s.Count()));
    for (size_t i = 0; i < storeTimes.size(); ++i) storeTimes[i] = s.At(static_cast<int>(i))->time();
    for (bool ascending : {true, false}) {
      m.SortByColumn(RecordTableModel::kDateTime);
      for (int r = 1; r < m.rowCount(); ++r)
        QVERIFY(ascending ? m.RecordAt(r - 1)->time() <= m.RecordAt(r)->time()
                          : m.RecordAt(r - 1)->time() >= m.RecordAt(r)->time());
    }
    for (int i = 0; i < s.Count(); ++i) QCOMPARE(s.At(i)->time(), storeTimes[static_cast<size_t>(i)]);

    std::string text(600, 'x');
    text.replace(0, 1, "<").replace(599, 1, ">");
    QCOMPARE(RecordTableModel::ShownText(text), "<" + std::string(219, 'x') + "..." + std::string(19, 'x') + ">");
    QCOMPARE(RecordTableModel::ShownText(std::string(255, 'y')), std::string(255, 'y'));
  }

  void ProgressShowsTheLastTextAndGreysAbortAtOnce() {
    WindowFixture f;
    CProgressDlg& p = f.w->Progress();
    p.ShowFor("Work");
    std::thread([&] {
      for (int i = 0; i < 1000; ++i) f.w->Bridge().SetText(std::to_string(i));
    }).join();
    QTRY_COMPARE(p.Text(), QString("999"));
    QTest::mouseClick(p.findChild<QPushButton*>(), Qt::LeftButton);
    QVERIFY(!p.AbortEnabled() && f.w->Bridge().Aborted() && p.isVisible());
    f.w->Bridge().CloseAfter(0);
    QTRY_VERIFY(!p.isVisible());
  }

  void MenuDialogsAndBoardCommands() {
    DialogBoxesRecorder boxes;
    WindowFixture f;
    CSkyHarvesterDlg& w = *f.w;
    // The configuration applies on OK only.
    const std::string before = test::ReadFile(f.paths.iniPath);
    for (bool ok : {false, true}) {
      auto [seen, busy] = FromMenu<CConfigDlg>(w, "&Configuration", [ok](CConfigDlg& d) {
        d.findChild<QCheckBox*>("viewUnknown")->setChecked(true);
        d.findChild<QLineEdit*>("prefix")->setText("station7");
        ok ? d.accept() : d.reject();
      });
      QVERIFY(seen && busy && !w.Busy() && (w.Config().baseName == "station7") == ok);
      QCOMPARE(test::ReadFile(f.paths.iniPath) == before, !ok);
    }
    const std::string ini = test::ReadFile(f.paths.iniPath);
    QVERIFY2(ini.find("ViewUnknown=1") != std::string::npos && ini.find("station7") != std::string::npos, ini.c_str());
    QCOMPARE(w.PaneText(0), QString::fromStdString(w.Link().Description()));

    QVERIFY(f.Load(f.DataFile("a.k8")));
    // A board command runs behind the window's progress dialog, then the
    // window is usable again.
    f.UseBox();
    w.OnResetBoard();
    QVERIFY(w.Busy() && w.Progress().isVisible() && !w.menuBar()->isEnabled());
    QVERIFY(f.Idle() && w.menuBar()->isEnabled());
    QCOMPARE(f.messages.last(), QString("Info|Reset board success"));

    QVERIFY(FromMenu<CTimeDlg>(w, "Set time", [](CTimeDlg& d) { d.reject(); }).first);
    auto firmware = FromMenu<CUpdateFirmwareDlg>(w, "Update firmware", [](CUpdateFirmwareDlg& d) { d.reject(); });
    QVERIFY(firmware.first && firmware.second && !w.Busy());

    // The plot follows the window's loads.
    FromMenu<QDialog>(w, "&Plot...", [](QDialog&) {});
    auto* plot = w.findChild<PlotWindow*>();
    QVERIFY(plot && plot->isVisible() && plot->Types().size() >= 4);
    QTRY_VERIFY(plot->PointsShown() > 0);
    w.OnCloseData();
    QTRY_VERIFY(plot->Types().empty());
    QTRY_COMPARE(plot->StatusText(), QString("No records with a layout in memory."));
  }

  void SettingsFromTheMenuReachTheBoxOnOkOnly() {
    DialogBoxesRecorder boxes;
    WindowFixture f;
    CSkyHarvesterDlg& w = *f.w;
    // Load (when `load`), the send box ticked, then OK or Cancel; whether the
    // editor opened and the window came back.
    auto edit = [&](bool load, bool ok) {
      auto [seen, busy] = FromMenu<CSettingsDlg>(w, "Settings", [=](CSettingsDlg& d) {
        if (load) d.OnLoad();
        d.findChild<QCheckBox*>("sendAfterClosing")->setChecked(true);
        ok ? d.accept() : d.reject();
      });
      return seen && f.Idle();
    };
    QVERIFY(!edit(false, true));
    QCOMPARE(boxes.LastText(), QString("No data in memory"));
    QVERIFY(f.Load(f.DataFile("a.k8")));
    const std::vector<uint8_t> original = SettingsRecordOf(w.Store());
    test::BoxLink& box = f.UseBox();
    box.box.memory().SetSettings(original);
    test::WriteFile(f.dir / "other.set", "[Settings]\nGain=9\nMeasureInterval=60\n");
    boxes.openFile = QString::fromStdString(f.dir / "other.set");

    QVERIFY(edit(true, false) && !w.Modified() && SettingsRecordOf(w.Store()) == original && box.written.empty());
    // OK without a change sends all the same: the box's settings stay byte for byte.
    QVERIFY(edit(false, true) && !w.Modified() && !box.Frames(0x48).empty());
    QCOMPARE(box.box.memory().settings(), original);
    // A change comes back to the store and reaches the box after closing.
    QVERIFY(edit(true, true) && w.Modified() && w.windowTitle().endsWith(" *"));
    auto items = Items(SettingsRecordOf(w.Store()));
    QCOMPARE(FindItemByKey(*items, "MINT")->GetValueText() + FindItemByKey(*items, "GAIN")->GetValueText(),
             std::string("609"));
    QCOMPARE(box.box.memory().settings(), SettingsRecordOf(w.Store()));
    QCOMPARE(w.PaneText(4), QString("Write settings OK."));
  }

  void GetRecordsReplacesTheStoreAndWritesSnapshots() {
    WindowFixture f("[communication]\nretrieve_limited=0\nretrieve_missing=0\n");
    CSkyHarvesterDlg& w = *f.w;
    test::BoxLink& box = f.UseBox(1, 30);
    QVERIFY(f.Load(f.DataFile("a.k8")));
    f.DeleteFirstRow();

    // Unsaved data is offered a save first (answered No here).
    f.answer = false;
    QVERIFY(f.Idle([&] { w.OnGetRecords(); }));
    QCOMPARE(f.asked, QStringList{"Current file is modified\nSave it?"});
    const int all = w.Store().Count();
    QCOMPARE(static_cast<size_t>(all), box.box.memory().size());
    QVERIFY(w.windowTitle() == "SkyHarvester" && w.PaneText(4).startsWith("Retrieve data OK. Saved to\""));
    QVERIFY(f.K8Files() == 1 && w.menuBar()->isEnabled());

    // A link that does not open writes nothing and leaves the store.
    box.openError = "No box here";
    QVERIFY(f.Idle([&] { w.OnGetRecords(); }));
    QVERIFY(w.PaneText(4) == "Retrieve data error." && w.Progress().Text() == "No box here");
    QVERIFY(w.Store().Count() == all && f.K8Files() == 1);
  }

  void DueRunWaitsWhileTheWindowIsBusyAndLeavesTheStore() {
    WindowFixture f("enable=1\nperiod=0\nstart=0\n");
    CSkyHarvesterDlg& w = *f.w;
    test::BoxLink& box = f.UseBox(1, 60);
    QVERIFY(f.Load(f.DataFile("a.k8")));
    const int loaded = w.Store().Count();
    w.OpenFiles({f.DataFile("a.k8")}, true);
    w.Tick(kTestNow);  // due while the load runs
    QCOMPARE(w.AutomaticRunsStarted(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(w.AutomaticRunsStarted(), 1, 30000);
    QVERIFY(f.Idle());
    QVERIFY(w.Store().Count() == loaded && !w.Modified() && w.windowTitle() == "SkyHarvester - a.k8");
    QVERIFY(f.K8Files() > 0 && !box.Frames(kCmdEndSession).empty());
  }

  void CloseStopsAndWaitsForTheWorker() {
    WindowFixture f("[communication]\nretrieve_limited=0\n");
    test::BoxLink& box = f.UseBox(10, 1);
    // A slow line: the walk goes on until Abort, then each frame takes a while.
    box.filter = [&](std::vector<uint8_t>&) {
      while (!f.w->Bridge().Aborted()) std::this_thread::yield();
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    };
    f.w->OnGetRecords();
    f.w->close();
    QVERIFY(!box.Frames().empty());
    QCOMPARE(box.Frames().back().command, kCmdEndSession);
    QVERIFY(box.Frames(kCmdGetPreviousRecord).size() + 1 < box.box.memory().size());
  }
};

}  // namespace skyh::ui

QTEST_MAIN(skyh::ui::WindowTest)

#include "window_test.moc"
