// The main window: what the user sees and what each command does to the
// store, the title and the panes.
#include <QTest>

#include "runner/ui_test.h"
#include "ui/skyharvester_dlg.h"

namespace skyh::ui {

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void OpensWithItsTitle() {
    StartUpPaths paths;
    CSkyHarvesterDlg window(paths);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.windowTitle(), QString("SkyHarvester"));
  }
};

SKYH_UI_TEST(MainWindowTest);

}  // namespace skyh::ui

#include "main_window_test.moc"
