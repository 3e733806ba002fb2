#include "ui/dialogs/settings_dlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenuBar>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "settings/set_file.h"
#include "settings/settings_item_boolean.h"
#include "ui/dialogs/dialog_boxes.h"
#include "ui/dialogs/edit_setting_dlg.h"
#include "ui/models/settings_items_model.h"

namespace skyh::ui {
namespace {

const char kSetFilter[] = "Settings file (*.set)";

bool RunEditDialog(CSettingsItem& item, QWidget* parent) {
  CEditSettingDlg dialog(item, parent);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace

CSettingsDlg::CSettingsDlg(CSettingsItemList& items, QWidget* parent)
    : QDialog(parent), items_(items), editRunner_(RunEditDialog) {
  setWindowTitle("Settings");
  setSizeGripEnabled(true);
  auto* menu = new QMenuBar(this);
  QMenu* file = menu->addMenu("&File");
  file->addAction("Save", this, &CSettingsDlg::OnSave);
  file->addAction("Load", this, &CSettingsDlg::OnLoad);
  file->addAction("E&xit", this, &CSettingsDlg::reject);

  model_ = new SettingsItemsModel(items_, this);
  list_ = new QTableView(this);
  list_->setObjectName("settingsList");
  list_->setModel(model_);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->verticalHeader()->hide();
  list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 6);
  // Long parameter names stay readable.
  list_->resizeColumnToContents(0);
  list_->setColumnWidth(0, std::max(100, list_->columnWidth(0)));
  list_->setColumnWidth(1, 80);
  list_->setColumnWidth(2, 300);
  list_->horizontalHeader()->setStretchLastSection(true);
  connect(list_, &QTableView::doubleClicked, this, &CSettingsDlg::OnDoubleClick);

  sendAfter_ = new QCheckBox("Send Settings to Photometer after closing", this);
  sendAfter_->setObjectName("sendAfterClosing");
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &CSettingsDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CSettingsDlg::reject);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(sendAfter_);
  bottom->addStretch(1);
  bottom->addWidget(buttons);
  auto* layout = new QVBoxLayout(this);
  layout->setMenuBar(menu);
  layout->addWidget(list_, 1);
  layout->addLayout(bottom);
  resize(720, 460);
}

bool CSettingsDlg::SendAfterClosing() const { return sendAfter_->isChecked(); }

void CSettingsDlg::MarkModified() {
  if (modified_) return;
  modified_ = true;
  setWindowTitle("Settings modified *");
}

void CSettingsDlg::OnDoubleClick(const QModelIndex& index) {
  CSettingsItem* item = index.isValid() ? model_->ItemAt(index.row()) : nullptr;
  if (!item) return;
  if (auto* boolean = dynamic_cast<CSettingsItemBoolean*>(item)) {
    boolean->SetValueFromText(boolean->value() == 0 ? "1" : "0");
  } else if (!editRunner_(*item, this)) {
    return;
  }
  model_->ValueChanged(index.row());
  MarkModified();
}

void CSettingsDlg::OnSave() {
  const QString proposed = QString::fromStdString(ProposedSetFileName(items_));
  const QString path = Boxes().SaveFileName(this, "Save", proposed, kSetFilter);
  if (path.isEmpty()) return;
  if (!SaveSetFile(path.toStdString(), items_))
    Boxes().Show(this, QMessageBox::Warning, "Error", QString("Can't write %1").arg(path));
}

void CSettingsDlg::OnLoad() {
  const QString path = Boxes().OpenFileName(this, "Load", kSetFilter);
  if (path.isEmpty()) return;
  if (!LoadSetFile(path.toStdString(), items_)) {
    Boxes().Show(this, QMessageBox::Warning, "Error", QString("Can't read %1").arg(path));
    return;
  }
  model_->Refill();
  // Even when no value changed: the operator chose these settings.
  MarkModified();
}

}  // namespace skyh::ui
