// The main window's file commands, title and list.
#include <QMessageBox>
#include <QTableView>
#include <QPushButton>
#include <QTimer>
#include <thread>

#include "runner/ui_test.h"
#include "runner/window_fixture.h"
#include "ui/models/record_table_model.h"

namespace skyh::ui {

class MainWindowTest : public QObject {
  Q_OBJECT

  static void Select(CSkyHarvesterDlg& w, int row) { w.List().selectRow(row); }

 private slots:
  void FileCommandsKeepTitleAndModified() {
    WindowFixture f;
    CSkyHarvesterDlg& w = *f.w;
    const QString a = QString::fromStdString(f.DataFile("a.k8")), b = QString::fromStdString(f.DataFile("b.k8"));
    f.files = {a};
    w.OnOpen();
    QVERIFY(f.WaitIdle());
    const int n = w.Store().Count();
    QVERIFY(n > 0);
    QVERIFY(w.windowTitle() == "SkyHarvester - a.k8" && w.PaneText(4) == "File loaded.");
    f.files = {b};
    w.OnAddFile();
    QVERIFY(f.WaitIdle());
    QVERIFY(w.Store().Count() == 2 * n && w.windowTitle() == "SkyHarvester - a.k8 *");
    f.saveName = QString::fromStdString(f.dir / "c.k8");
    w.OnSaveAs();
    QCOMPARE(w.windowTitle(), QString("SkyHarvester - c.k8"));
    Select(w, 0);
    w.OnDelete();
    QVERIFY(w.Store().Count() == 2 * n - 1 && w.windowTitle() == "SkyHarvester - c.k8 *" && f.asked.isEmpty());

    // Open asks about the unsaved data; No drops it.
    f.answer = false;
    f.files = {a};
    w.OnOpen();
    QVERIFY(f.WaitIdle());
    QCOMPARE(f.asked, QStringList{"Current file is modified\nSave it?"});
    QVERIFY(w.Store().Count() == n && w.windowTitle() == "SkyHarvester - a.k8");

    // Dropping replaces without a question; two files leave no file name,
    // and unsaved data shows in the title all the same.
    Select(w, 0);
    w.OnDelete();
    w.DropUrls({QUrl::fromLocalFile(a), QUrl::fromLocalFile(b)});
    QVERIFY(f.WaitIdle());
    QVERIFY(f.asked.size() == 1 && w.Store().Count() == 2 * n && w.windowTitle() == "SkyHarvester");
    Select(w, 0);
    w.OnDelete();
    QCOMPARE(w.windowTitle(), QString("SkyHarvester *"));

    w.OnCloseData();
    QVERIFY(w.Store().Count() == 0 && w.windowTitle() == "SkyHarvester" && w.PaneText(4) == "File closed.");
    QVERIFY(w.menuBar()->isEnabled());
  }

  void ListShowsSortsAndTruncates() {
    WindowFixture f;
    CSkyHarvesterDlg& w = *f.w;
    w.OpenFiles({f.DataFile("a.k8")}, true);
    QVERIFY(f.WaitIdle());
    const RecordStore& s = w.Store();
    RecordTableModel& m = w.Model();
    QVERIFY(s.UnknownCount() > 0);
    QCOMPARE(m.rowCount(), s.Count() - s.UnknownCount());
    QVERIFY2(w.InfoText().endsWith(QString(" ( %1 unknown").arg(s.UnknownCount()) + (s.UnknownCount() > 1 ? "s )" : "  )")),
             qPrintable(w.InfoText()));

    std::vector<int64_t> storeTimes;
    for (int i = 0; i < s.Count(); ++i) storeTimes.push_back(s.At(i)->time());
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

  void DeleteRemovesTheSelectedRowsOwnRecords() {
    WindowFixture f;
    CSkyHarvesterDlg& w = *f.w;
    // A, B, A again: equal in time and bytes, but different rows.
    w.OpenFiles({f.DataFile("dup.k8",
                            [](sim::BoxMemory& m) {
                              auto a = m.records()[0], b = m.records()[1];
                              m.Clear();
                              for (auto& r : {a, b, a}) m.Append(r);
                            })},
                true);
    QVERIFY(f.WaitIdle());
    const int64_t timeA = w.Store().At(0)->time(), timeB = w.Store().At(1)->time();
    QVERIFY(timeA != timeB);
    w.OnDelete();
    QCOMPARE(f.messages, QStringList{"Warning|Select one or more items to delete"});
    Select(w, 2);
    w.OnDelete();
    QVERIFY(w.Store().Count() == 2 && w.Model().rowCount() == 2);
    QVERIFY(w.Store().At(0)->time() == timeA && w.Store().At(1)->time() == timeB);
  }

  void ProgressShowsTheLastTextAndGreysAbortAtOnce() {
    WindowFixture f;
    CProgressDlg& p = f.w->Progress();
    p.ShowFor("Work");
    std::thread worker([&] {
      for (int i = 0; i < 1000; ++i) f.w->Bridge().SetText(std::to_string(i));
    });
    worker.join();
    QTRY_COMPARE(p.Text(), QString("999"));
    QTest::mouseClick(p.findChild<QPushButton*>(), Qt::LeftButton);
    QVERIFY(!p.AbortEnabled() && f.w->Bridge().Aborted() && p.isVisible());
    f.w->Bridge().CloseAfter(0);
    QTRY_VERIFY(!p.isVisible());
  }

  void AboutBoxAndCloseButtonSwitch() {
    WindowFixture f("[debug]\nDisableCloseButton=1\n");
    QVERIFY(!(f.w->windowFlags() & Qt::WindowCloseButtonHint));
    QString about;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box) about = box->text(), box->accept();
    });
    f.w->OnAbout();
    QCOMPARE(about, QString("SkyHarvester, Version 2.14.4"));
  }
};

SKYH_UI_TEST(MainWindowTest);

}  // namespace skyh::ui

#include "main_window_test.moc"
