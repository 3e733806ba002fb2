#include "ui/dialogs/edit_setting_dlg.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "settings/set_file.h"
#include "ui/dialogs/dialog_boxes.h"

namespace skyh::ui {

CEditSettingDlg::CEditSettingDlg(CSettingsItem& item, QWidget* parent) : QDialog(parent), item_(item) {
  setWindowTitle("Edit setting");
  auto* name = new QLineEdit(QString::fromStdString(item.name()), this);
  name->setObjectName("name");
  name->setReadOnly(true);
  value_ = new QLineEdit(QString::fromStdString(item.GetValueText()), this);
  value_->setObjectName("value");
  // A password is marked changed by any edit of its text.
  connect(value_, &QLineEdit::textChanged, this, [this](const QString& text) { item_.NoteEditedText(text.toStdString()); });
  auto* frame = new QGroupBox("Setting description", this);
  auto* description = new QPlainTextEdit(QString::fromStdString(item.description()), frame);
  description->setObjectName("description");
  description->setReadOnly(true);
  auto* frameLayout = new QVBoxLayout(frame);
  frameLayout->addWidget(description);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &CEditSettingDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CEditSettingDlg::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("Setting name", this));
  layout->addWidget(name);
  layout->addWidget(new QLabel("Value", this));
  layout->addWidget(value_);
  layout->addWidget(frame, 1);
  layout->addWidget(buttons);
  resize(360, 280);
}

void CEditSettingDlg::accept() {
  const SetValueResult result = item_.SetValueFromText(value_->text().toStdString());
  lastResult_ = result;
  if (result == SetValueResult::kAccepted) {
    QDialog::accept();
    return;
  }
  Boxes().Show(this, QMessageBox::Warning, "Error", RefusalText(result));
}

}  // namespace skyh::ui
