#include "ui/dialogs/interim_progress_dlg.h"

#include <QLabel>
#include <QMetaObject>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace skyh::ui {

InterimProgressDlg::InterimProgressDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Progression");
  setModal(true);
  text_ = new QLabel("--", this);
  text_->setObjectName("progressText");
  text_->setMinimumWidth(260);
  text_->setWordWrap(true);
  abort_ = new QPushButton("Abort", this);
  connect(abort_, &QPushButton::clicked, this, [this] {
    aborted_ = true;
    abort_->setEnabled(false);
  });
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text_);
  layout->addWidget(abort_, 0, Qt::AlignHCenter);
}

void InterimProgressDlg::Begin() {
  aborted_ = false;
  abort_->setEnabled(true);
  show();
}

void InterimProgressDlg::SetTitle(const std::string& title) {
  QMetaObject::invokeMethod(this, [this, t = QString::fromStdString(title)] { setWindowTitle(t); },
                            Qt::QueuedConnection);
}

void InterimProgressDlg::SetText(const std::string& text) {
  QMetaObject::invokeMethod(this, [this, t = QString::fromStdString(text)] { text_->setText(t); },
                            Qt::QueuedConnection);
}

void InterimProgressDlg::CloseAfter(int ms) {
  QMetaObject::invokeMethod(this, [this, ms] { QTimer::singleShot(ms, this, &QDialog::hide); }, Qt::QueuedConnection);
}

void InterimProgressDlg::SetStatus(const std::string& text) {
  QMetaObject::invokeMethod(
      this,
      [this, t = QString::fromStdString(text)] {
        status_ = t;
        emit StatusChanged(t);
      },
      Qt::QueuedConnection);
}

QString InterimProgressDlg::Text() const { return text_->text(); }

}  // namespace skyh::ui
