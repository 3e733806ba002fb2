#include "ui/dialogs/time_dlg.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTimeEdit>
#include <QTimer>
#include <QVBoxLayout>

#include "core/time_util.h"
#include "ui/dialogs/dialog_boxes.h"

namespace skyh::ui {

CTimeDlg::CTimeDlg(LinkProvider link, QWidget* parent) : QDialog(parent), provider_(std::move(link)) {
  setWindowTitle("Set time / date");
  auto* frame = new QGroupBox("Time / date", this);
  useSystem_ = new QCheckBox("Use System time", frame);
  useSystem_->setObjectName("useSystemTime");
  date_ = new QDateEdit(frame);
  date_->setObjectName("date");
  date_->setDisplayFormat("yyyy-MM-dd");
  date_->setDateRange(QDate(2000, 1, 1), QDate(2099, 12, 12));
  date_->setToolTip("Date value: [01/01/2000, 12/12/2099]");
  time_ = new QTimeEdit(frame);
  time_->setObjectName("time");
  time_->setDisplayFormat("HH:mm:ss");
  time_->setToolTip("Time value: [00:00:00, 23:59:59]");
  auto* pickers = new QHBoxLayout;
  pickers->addWidget(date_);
  pickers->addWidget(time_);
  auto* inner = new QVBoxLayout(frame);
  inner->addWidget(useSystem_);
  inner->addLayout(pickers);

  auto* get = new QPushButton("Get Time", this);
  get->setObjectName("getTime");
  auto* set = new QPushButton("Set Time", this);
  set->setObjectName("setTime");
  auto* close = new QPushButton("Close", this);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(get);
  buttons->addWidget(set);
  buttons->addStretch(1);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(frame);
  layout->addLayout(buttons);

  timer_ = new QTimer(this);
  timer_->setInterval(100);
  connect(timer_, &QTimer::timeout, this, [this] { ShowTime(NowUtc()); });
  connect(useSystem_, &QCheckBox::clicked, this, &CTimeDlg::OnUseSystemTime);
  connect(get, &QPushButton::clicked, this, &CTimeDlg::OnGetTime);
  connect(set, &QPushButton::clicked, this, &CTimeDlg::OnSetTime);
  connect(close, &QPushButton::clicked, this, &CTimeDlg::reject);
  ShowTime(NowUtc());
}

void CTimeDlg::ShowTime(int64_t time) {
  DateTimeFields f;
  if (!TimeToFields(time, f)) return;
  date_->setDate(QDate(f.year, f.month, f.day));
  time_->setTime(QTime(f.hour, f.minute, f.second));
}

int64_t CTimeDlg::PickedTime() const {
  const QDate d = date_->date();
  const QTime t = time_->time();
  return FieldsToTime(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second());
}

void CTimeDlg::OnUseSystemTime() {
  const bool follow = useSystem_->isChecked();
  date_->setEnabled(!follow);
  time_->setEnabled(!follow);
  if (follow) {
    ShowTime(NowUtc());
    timer_->start();
  } else {
    timer_->stop();
  }
}

LinkLease CTimeDlg::OpenLink() {
  LinkSession* session = provider_ ? provider_() : nullptr;
  if (!session) {
    Boxes().Show(this, QMessageBox::Critical, "Info", "Can't find Photometer");
    return {};
  }
  LinkLease lease = session->Acquire(LinkSession::kOperatorWaitMs);
  if (lease.Error() == LeaseError::kBusy) Boxes().Show(this, QMessageBox::Critical, "Info", LinkBusyText());
  else if (!lease) Boxes().Show(this, QMessageBox::Critical, "Info", "Can't find Photometer");
  return lease;
}

void CTimeDlg::OnGetTime() {
  LinkLease lease = OpenLink();
  if (!lease) return;
  int64_t boxTime = kInvalidTime;
  if (lease.Link().GetDateTime(boxTime) != ComResult::kOk) {
    lease.Release();
    Boxes().Show(this, QMessageBox::Critical, "Error", "Get time/date error");
    return;
  }
  useSystem_->setChecked(false);
  OnUseSystemTime();
  ShowTime(boxTime);
  lease.Release();
  Boxes().Show(this, QMessageBox::Information, "Info", "Get time/date ok");
}

void CTimeDlg::OnSetTime() {
  LinkLease lease = OpenLink();
  if (!lease) return;
  const bool ok = lease.Link().SetDateTime(PickedTime()) == ComResult::kOk;
  lease.Release();
  if (ok) Boxes().Show(this, QMessageBox::Information, "Info", "Set time/date ok");
  else Boxes().Show(this, QMessageBox::Critical, "Error", "Set time/date error");
}

}  // namespace skyh::ui
