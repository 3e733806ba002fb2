// The time dialog against the in-process simulated box.
#include <future>

#include "core/time_util.h"
#include "dialog_boxes_recorder.h"
#include "runner/ui_test.h"
#include "support/box_link.h"
#include "ui/dialogs/time_dlg.h"

namespace skyh::ui {
namespace {

const int64_t kHostUtc = FieldsToTime(2030, 3, 4, 5, 6, 7);
int64_t hostNowMs = kHostUtc * 1000;
int64_t HostNowMs() { return hostNowMs; }

sim::BoxOptions BoxAhead(int64_t seconds) {
  sim::BoxOptions o;
  o.clockOffsetSeconds = seconds;
  return o;
}

// Whether another thread could take a lease now.
bool LockFree(LinkSession& session) {
  return std::async(std::launch::async, [&] { return session.Acquire(0).Error() != LeaseError::kBusy; }).get();
}

}  // namespace

class TimeDlgTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    hostNowMs = kHostUtc * 1000;
    SetNowFunctionForTesting(HostNowMs);
  }
  void cleanup() { SetNowFunctionForTesting(nullptr); }

  void GetTimeUsesTheLinkActiveAtThePressUnderTheLock() {
    DialogBoxesRecorder boxes;
    test::BoxLink first;
    first.openError = "no adapter";
    test::BoxLink box(BoxAhead(3600), [] { return kHostUtc; });
    LinkSession firstSession(first);
    LinkSession boxSession(box);
    LinkSession* active = &firstSession;
    CTimeDlg dialog([&] { return active; });
    auto* useSystem = dialog.findChild<QCheckBox*>("useSystemTime");
    QCOMPARE(dialog.findChild<QDateEdit*>("date")->maximumDate(), QDate(2099, 12, 12));
    useSystem->click();
    dialog.OnGetTime();
    QCOMPARE(boxes.LastText(), QString("Can't find Photometer"));

    // The configuration chose another link meanwhile.
    active = &boxSession;
    bool lockedDuringExchange = false;
    box.filter = [&](std::vector<uint8_t>&) { lockedDuringExchange = !LockFree(boxSession); };
    dialog.OnGetTime();
    box.filter = nullptr;
    QVERIFY(lockedDuringExchange && LockFree(boxSession));
    QCOMPARE(boxes.LastText(), QString("Get time/date ok"));
    QVERIFY(!useSystem->isChecked() && dialog.findChild<QDateEdit*>("date")->isEnabled());
    QCOMPARE(dialog.PickedTime(), kHostUtc + 3600);
    QVERIFY(!box.IsConnected());
  }

  void SetTimeSendsTheLastTickAndAFailingBoxLeavesThePickers() {
    DialogBoxesRecorder boxes;
    test::BoxLink box(BoxAhead(-500), [] { return HostNowMs() / 1000; });
    LinkSession session(box);
    CTimeDlg dialog([&] { return &session; });
    dialog.findChild<QCheckBox*>("useSystemTime")->click();
    hostNowMs += 42000;
    QVERIFY(QTest::qWaitFor([&] { return dialog.PickedTime() == kHostUtc + 42; }));
    dialog.OnSetTime();
    QCOMPARE(boxes.LastText(), QString("Set time/date ok"));
    QCOMPARE(box.box.clockOffsetSeconds(), int64_t(0));

    // A box that never answers.
    dialog.findChild<QCheckBox*>("useSystemTime")->click();
    dialog.findChild<QDateEdit*>("date")->setDate(QDate(2044, 4, 4));
    box.filter = [](std::vector<uint8_t>& bytes) { bytes.clear(); };
    dialog.OnGetTime();
    QCOMPARE(boxes.shown.back().title + boxes.LastText(), QString("ErrorGet time/date error"));
    QCOMPARE(dialog.findChild<QDateEdit*>("date")->date(), QDate(2044, 4, 4));
    dialog.OnSetTime();
    QCOMPARE(boxes.LastText(), QString("Set time/date error"));
  }
};

SKYH_UI_TEST(TimeDlgTest);

}  // namespace skyh::ui

#include "time_dlg_test.moc"
