#pragma once
// The settings editor: the items of the settings record in a list, edited
// in place or through the edit dialog, saved to and loaded from .set files.
#include <QDialog>
#include <functional>

#include "settings/settings_item_list.h"

class QCheckBox;
class QTableView;

namespace skyh::ui {

class SettingsItemsModel;

class CSettingsDlg : public QDialog {
  Q_OBJECT

 public:
  // The items are borrowed; the caller owns them and writes them back.
  explicit CSettingsDlg(CSettingsItemList& items, QWidget* parent = nullptr);

  bool Modified() const { return modified_; }
  bool SendAfterClosing() const;
  QTableView* List() const { return list_; }

  // How a row's edit dialog runs; tests replace it (true for OK).
  using EditRunner = std::function<bool(CSettingsItem&, QWidget*)>;
  void SetEditRunner(EditRunner runner) { editRunner_ = std::move(runner); }

 public slots:
  void OnDoubleClick(const QModelIndex& index);
  void OnSave();
  void OnLoad();

 private:
  void MarkModified();

  CSettingsItemList& items_;
  SettingsItemsModel* model_ = nullptr;
  QTableView* list_ = nullptr;
  QCheckBox* sendAfter_ = nullptr;
  bool modified_ = false;
  EditRunner editRunner_;
};

}  // namespace skyh::ui
