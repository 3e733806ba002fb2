// The window's link commands and its timer against the in-process simulated
// box: Get records, automatic runs, and a close during a run.
#include <QMenuBar>
#include <QTableView>
#include <thread>

#include "protocol/command_codes.h"
#include "runner/ui_test.h"
#include "runner/window_fixture.h"
#include "support/box_link.h"

namespace skyh::ui {

class RetrievalWindowTest : public QObject {
  Q_OBJECT

  static void Fill(test::BoxLink& box, int days, int minutes) {
    sim::GenerateDemoMemory(sim::DemoOptions{kTestNow - days * 86400, days, minutes}, box.box.memory());
  }

 private slots:
  void GetRecordsReplacesTheStoreAndWritesSnapshots() {
    WindowFixture f("[communication]\nretrieve_limited=0\nretrieve_missing=0\n");
    CSkyHarvesterDlg& w = *f.w;
    test::BoxLink box;
    Fill(box, 1, 30);
    w.Link().UseLink(&box);
    w.OpenFiles({f.DataFile("a.k8")}, true);
    QVERIFY(f.WaitIdle());
    w.List().selectRow(0);
    w.OnDelete();
    QStringList texts;
    connect(&w.Bridge(), &ProgressBridge::textChanged, &w, [&](const QString& t) { texts << t; });

    // Unsaved data is offered a save first (answered No here).
    f.answer = false;
    w.OnGetRecords();
    QVERIFY(!w.menuBar()->isEnabled());
    QVERIFY(f.WaitIdle());
    QCOMPARE(f.asked, QStringList{"Current file is modified\nSave it?"});
    QCOMPARE(texts.first(), QString("Please wait..."));
    QVERIFY(texts.filter("Received blocks: ").size() > 0);
    QCOMPARE(texts.last(), QString("Stopping communication..."));
    const int all = w.Store().Count();
    QCOMPARE(static_cast<size_t>(all), box.box.memory().size());
    QVERIFY(w.windowTitle() == "SkyHarvester" && w.PaneText(4).startsWith("Retrieve data OK. Saved to\""));
    QVERIFY(f.FilesIn(f.dir / "out", ".k8") == 1 && w.menuBar()->isEnabled());

    // Abort keeps what arrived and still writes the snapshot.
    connect(&w.Bridge(), &ProgressBridge::textChanged, &w.Bridge(),
            [&](const QString& t) { if (t.startsWith("Received blocks: ")) w.Bridge().Abort(); }, Qt::DirectConnection);
    std::filesystem::remove_all(f.dir / "out");
    QTest::qWait(1100);  // the snapshot's name has the second of the retrieval
    w.OnGetRecords();
    QVERIFY(f.WaitIdle());
    QVERIFY2(w.PaneText(4).startsWith("Retrieve data aborted. Saved to\""), qPrintable(w.PaneText(4)));
    const int aborted = w.Store().Count();
    QVERIFY(aborted > 0 && aborted < all);
    QCOMPARE(f.FilesIn(f.dir / "out", ".k8"), 1);

    // A link that does not open writes nothing and leaves the store.
    box.openError = "No box here";
    w.OnGetRecords();
    QVERIFY(f.WaitIdle());
    QVERIFY(w.PaneText(4) == "Retrieve data error." && w.Progress().Text() == "No box here");
    QVERIFY(w.Store().Count() == aborted && f.FilesIn(f.dir / "out", ".k8") == 1);

    // A second user of the link: the run waits for the lock, then drops out
    // and leaves the window usable.
    box.openError.clear();
    const size_t frames = box.Frames().size();
    LinkLease held = w.Link().Session().Acquire(0);
    QVERIFY(held);
    w.OnGetRecords();
    QVERIFY(f.WaitIdle());
    held.Release();
    QVERIFY(box.Frames().size() == frames && w.menuBar()->isEnabled());
  }

  void DueRunWaitsWhileTheWindowIsBusyAndLeavesTheStore() {
    WindowFixture f("enable=1\nperiod=0\nstart=0\n");
    CSkyHarvesterDlg& w = *f.w;
    test::BoxLink box;
    Fill(box, 1, 60);
    w.Link().UseLink(&box);
    w.OpenFiles({f.DataFile("a.k8")}, true);
    QVERIFY(f.WaitIdle());
    const int loaded = w.Store().Count();
    w.OpenFiles({f.DataFile("a.k8")}, true);
    w.Tick(kTestNow);  // due while the load runs
    QCOMPARE(w.AutomaticRunsStarted(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(w.AutomaticRunsStarted(), 1, 30000);
    QVERIFY(f.WaitIdle());
    QVERIFY(w.Store().Count() == loaded && !w.Modified() && w.windowTitle() == "SkyHarvester - a.k8");
    QVERIFY(f.FilesIn(f.dir / "out", ".k8") > 0);
    QVERIFY(!box.Frames(kCmdEndSession).empty());
  }

  void CloseStopsAndWaitsForTheWorker() {
    WindowFixture f("[communication]\nretrieve_limited=0\n");
    test::BoxLink box;
    Fill(box, 10, 1);
    f.w->Link().UseLink(&box);
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

SKYH_UI_TEST(RetrievalWindowTest);

}  // namespace skyh::ui

#include "retrieval_window_test.moc"
