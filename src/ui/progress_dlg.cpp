#include "ui/progress_dlg.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace skyh::ui {

CProgressDlg::CProgressDlg(ProgressBridge& bridge, QWidget* parent) : QDialog(parent), bridge_(bridge) {
  setWindowTitle("Progression");
  setModal(false);
  auto* layout = new QVBoxLayout(this);
  text_ = new QLabel("--", this);
  text_->setMinimumWidth(300);
  text_->setWordWrap(true);
  current_ = new QProgressBar(this);
  total_ = new QProgressBar(this);
  current_->hide();
  total_->hide();
  abort_ = new QPushButton("Abort", this);
  abort_->setDefault(true);
  layout->addWidget(text_);
  layout->addWidget(current_);
  layout->addWidget(total_);
  layout->addWidget(abort_, 0, Qt::AlignHCenter);
  closeTimer_ = new QTimer(this);
  closeTimer_->setSingleShot(true);
  connect(closeTimer_, &QTimer::timeout, this, [this] {
    hide();
    emit ended();
  });
  connect(abort_, &QPushButton::clicked, this, &CProgressDlg::OnAbort);
  connect(&bridge_, &ProgressBridge::titleChanged, this, &QWidget::setWindowTitle);
  connect(&bridge_, &ProgressBridge::textChanged, text_, &QLabel::setText);
  connect(&bridge_, &ProgressBridge::barsChanged, this, [this](int current, int total) {
    if (current >= 0) current_->setValue(current), current_->show();
    if (total >= 0) total_->setValue(total), total_->show();
  });
  connect(&bridge_, &ProgressBridge::closeRequested, this, &CProgressDlg::OnCloseRequested);
}

void CProgressDlg::ShowFor(const QString& title) {
  closeTimer_->stop();
  bridge_.Reset();
  abort_->setEnabled(true);
  current_->hide();
  total_->hide();
  setWindowTitle(title);
  text_->setText("--");
  if (parentWidget()) move(parentWidget()->geometry().center() - rect().center());
  show();
  raise();
}

QString CProgressDlg::Text() const { return text_->text(); }
bool CProgressDlg::AbortEnabled() const { return abort_->isEnabled(); }

void CProgressDlg::WorkerEnded() {
  if (!isVisible() || closeTimer_->isActive()) return;
  hide();
  emit ended();
}

void CProgressDlg::OnAbort() {
  bridge_.Abort();
  abort_->setEnabled(false);
}

void CProgressDlg::OnCloseRequested(int ms) { closeTimer_->start(static_cast<int>(ms * closeDelayScale)); }

}  // namespace skyh::ui
