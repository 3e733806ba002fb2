#include "ui/dialogs/dialog_boxes.h"

#include <QFileDialog>

namespace skyh::ui {

void DialogBoxes::Show(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text) {
  QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
  box.exec();
}

bool DialogBoxes::Ask(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text) {
  QMessageBox box(icon, title, text, QMessageBox::Yes | QMessageBox::No, parent);
  return box.exec() == QMessageBox::Yes;
}

QString DialogBoxes::OpenFileName(QWidget* parent, const QString& caption, const QString& filter) {
  return QFileDialog::getOpenFileName(parent, caption, QString(), filter);
}

QString DialogBoxes::SaveFileName(QWidget* parent, const QString& caption, const QString& proposed,
                                  const QString& filter) {
  QFileDialog dialog(parent, caption, QString(), filter);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix("set");
  dialog.selectFile(proposed);
  return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty() ? dialog.selectedFiles().first()
                                                                                  : QString();
}

QString DialogBoxes::FolderName(QWidget* parent, const QString& caption, const QString& start) {
  return QFileDialog::getExistingDirectory(parent, caption, start);
}

namespace {
DialogBoxes* installed = nullptr;
}

DialogBoxes& Boxes() {
  static DialogBoxes real;
  return installed ? *installed : real;
}

void SetBoxes(DialogBoxes* boxes) { installed = boxes; }

}  // namespace skyh::ui
