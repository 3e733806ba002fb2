#include "ui/models/settings_items_model.h"

namespace skyh::ui {

SettingsItemsModel::SettingsItemsModel(CSettingsItemList& items, QObject* parent)
    : QAbstractTableModel(parent), items_(items) {}

int SettingsItemsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(items_.Count());
}

int SettingsItemsModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 3; }

QVariant SettingsItemsModel::data(const QModelIndex& index, int role) const {
  const CSettingsItem* item = index.isValid() ? ItemAt(index.row()) : nullptr;
  if (!item || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) return {};
  switch (index.column()) {
    case 0: return QString::fromStdString(item->name());
    case 1: return QString::fromStdString(item->GetValueText());
    case 2: return QString::fromStdString(item->description());
    default: return {};
  }
}

QVariant SettingsItemsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const kTitles[] = {"Settings", "Value", "Description"};
  return section >= 0 && section < 3 ? QVariant(kTitles[section]) : QVariant();
}

void SettingsItemsModel::ValueChanged(int row) { emit dataChanged(index(row, 1), index(row, 1)); }

void SettingsItemsModel::Refill() {
  beginResetModel();
  endResetModel();
}

}  // namespace skyh::ui
