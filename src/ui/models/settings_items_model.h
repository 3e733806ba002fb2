#pragma once
// The settings editor's list: one row per item, the columns "Settings",
// "Value" and "Description"; texts are asked of the items when shown.
#include <QAbstractTableModel>

#include "settings/settings_item_list.h"

namespace skyh::ui {

class SettingsItemsModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit SettingsItemsModel(CSettingsItemList& items, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  CSettingsItem* ItemAt(int row) const { return row >= 0 ? items_.At(static_cast<size_t>(row)) : nullptr; }
  // The row's value changed / every value may have changed.
  void ValueChanged(int row);
  void Refill();

 private:
  CSettingsItemList& items_;
};

}  // namespace skyh::ui
