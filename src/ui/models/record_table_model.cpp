#include "ui/models/record_table_model.h"

#include <algorithm>
#include <string>

#include "core/format.h"
#include "core/time_util.h"

namespace skyh::ui {

RecordTableModel::RecordTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void RecordTableModel::Reset(const RecordStore* store, bool viewUnknown) {
  beginResetModel();
  store_ = store;
  rows_.clear();
  if (store_) {
    rows_.reserve(static_cast<size_t>(store_->Count()));
    for (int32_t i = 0; i < store_->Count(); ++i)
      if (viewUnknown || !store_->At(i)->IsUnknown()) rows_.push_back(i);
  }
  rows_.shrink_to_fit();
  endResetModel();
}

int RecordTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int RecordTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 4; }

int32_t RecordTableModel::StoreIndex(int row) const {
  return row >= 0 && row < static_cast<int>(rows_.size()) ? rows_[static_cast<size_t>(row)] : -1;
}

const CRecord* RecordTableModel::RecordAt(int row) const {
  int32_t index = StoreIndex(row);
  return index >= 0 && store_ ? store_->At(index) : nullptr;
}

std::string RecordTableModel::ShownText(std::string text) {
  if (text.size() > 255) text = text.substr(0, 220) + "..." + text.substr(text.size() - 20);
  return text;
}

std::string RecordTableModel::DateTimeText(int64_t time) {
  DateTimeFields f;
  if (time <= 0 || !TimeToFields(time, f)) return "---";
  return Sprintf("%02d/%02d/%04d %02d:%02d:%02d", f.day, f.month, f.year, f.hour, f.minute, f.second);
}

QVariant RecordTableModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid()) return {};
  const CRecord* r = RecordAt(index.row());
  if (!r) return {};
  ++textsBuilt_;
  switch (index.column()) {
    case kType: return QString::fromStdString(r->name());
    case kSize: return QString::number(r->length());
    case kDateTime: return QString::fromStdString(DateTimeText(r->time()));
    case kData: return QString::fromStdString(ShownText(r->GetText()));
    default: return {};
  }
}

QVariant RecordTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  static const char* const kNames[] = {"Type", "Size", "Date/Time", "Data"};
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 4) return kNames[section];
  return QAbstractTableModel::headerData(section, orientation, role);
}

void RecordTableModel::SortByColumn(int column) {
  if (!store_ || column < 0 || column > 3) return;
  ascending_ = !ascending_;
  const bool up = ascending_;
  const RecordStore& s = *store_;
  auto by = [up](auto key) {
    return [up, key](int32_t a, int32_t b) { return up ? key(a) < key(b) : key(b) < key(a); };
  };
  emit layoutAboutToBeChanged();
  QModelIndexList before = persistentIndexList();
  std::vector<int32_t> oldRows = rows_;
  switch (column) {
    case kType: std::stable_sort(rows_.begin(), rows_.end(), by([&s](int32_t i) -> const std::string& { return s.At(i)->name(); })); break;
    case kSize: std::stable_sort(rows_.begin(), rows_.end(), by([&s](int32_t i) { return s.At(i)->length(); })); break;
    case kDateTime: std::stable_sort(rows_.begin(), rows_.end(), by([&s](int32_t i) { return s.At(i)->time(); })); break;
    case kData: {
      // Built once for all rows (comparing would build each many times),
      // dropped after the sort.
      std::vector<std::string> texts(static_cast<size_t>(s.Count()));
      for (int32_t i : rows_) texts[static_cast<size_t>(i)] = s.At(i)->GetText();
      std::stable_sort(rows_.begin(), rows_.end(),
                       by([&texts](int32_t i) -> const std::string& { return texts[static_cast<size_t>(i)]; }));
      break;
    }
  }
  // Selections follow their records.
  std::vector<int> rowOf(static_cast<size_t>(s.Count()), -1);
  for (size_t r = 0; r < rows_.size(); ++r) rowOf[static_cast<size_t>(rows_[r])] = static_cast<int>(r);
  QModelIndexList after;
  for (const QModelIndex& i : before) {
    int32_t storeIndex = oldRows[static_cast<size_t>(i.row())];
    after.push_back(index(rowOf[static_cast<size_t>(storeIndex)], i.column()));
  }
  changePersistentIndexList(before, after);
  emit layoutChanged();
}

}  // namespace skyh::ui
