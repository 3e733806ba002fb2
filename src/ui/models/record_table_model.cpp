#include "ui/models/record_table_model.h"

#include <algorithm>
#include <string>
#include <thread>

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

namespace {

// Sorts the rows by a key taken once per row into one contiguous array (the
// records lie all over the heap); equal keys keep their current order.
template <typename KeyOf, typename Less>
void SortRows(std::vector<int32_t>& rows, bool ascending, KeyOf keyOf, Less less) {
  using Key = decltype(keyOf(int32_t{}));
  std::vector<std::pair<Key, int32_t>> keyed;
  keyed.reserve(rows.size());
  for (size_t k = 0; k < rows.size(); ++k) keyed.emplace_back(keyOf(rows[k]), static_cast<int32_t>(k));
  std::sort(keyed.begin(), keyed.end(), [&](const auto& a, const auto& b) {
    if (less(a.first, b.first)) return ascending;
    if (less(b.first, a.first)) return !ascending;
    return a.second < b.second;
  });
  std::vector<int32_t> sorted(rows.size());
  for (size_t k = 0; k < keyed.size(); ++k) sorted[k] = rows[static_cast<size_t>(keyed[k].second)];
  rows.swap(sorted);
}

// The Data texts of the rows, built on two threads.
std::vector<std::string> DataTexts(const RecordStore& s, const std::vector<int32_t>& rows) {
  std::vector<std::string> texts(rows.size());
  auto build = [&](size_t from, size_t to) {
    for (size_t k = from; k < to; ++k) texts[k] = s.At(rows[k])->GetText();
  };
  std::thread half(build, 0, rows.size() / 2);
  build(rows.size() / 2, rows.size());
  half.join();
  return texts;
}

}  // namespace

void RecordTableModel::SortByColumn(int column) {
  if (!store_ || column < 0 || column > 3) return;
  ascending_ = !ascending_;
  const RecordStore& s = *store_;
  emit layoutAboutToBeChanged();
  QModelIndexList before = persistentIndexList();
  std::vector<int32_t> oldRows = before.isEmpty() ? std::vector<int32_t>() : rows_;
  auto less = [](const auto& a, const auto& b) { return a < b; };
  switch (column) {
    case kType:
      SortRows(rows_, ascending_, [&s](int32_t i) { return &s.At(i)->name(); },
               [](const std::string* a, const std::string* b) { return *a < *b; });
      break;
    case kSize: SortRows(rows_, ascending_, [&s](int32_t i) { return s.At(i)->length(); }, less); break;
    case kDateTime: SortRows(rows_, ascending_, [&s](int32_t i) { return s.At(i)->time(); }, less); break;
    case kData: {
      // Built once for all rows (comparing would build each many times),
      // dropped after the sort.
      std::vector<std::string> texts = DataTexts(s, rows_);
      std::vector<int32_t> positions(rows_.size());
      for (size_t k = 0; k < positions.size(); ++k) positions[k] = static_cast<int32_t>(k);
      SortRows(positions, ascending_, [&texts](int32_t k) { return &texts[static_cast<size_t>(k)]; },
               [](const std::string* a, const std::string* b) { return *a < *b; });
      std::vector<int32_t> sorted(rows_.size());
      for (size_t k = 0; k < sorted.size(); ++k) sorted[k] = rows_[static_cast<size_t>(positions[k])];
      rows_.swap(sorted);
      break;
    }
  }
  if (!before.isEmpty()) {
    // Selections follow their records.
    std::vector<int> rowOf(static_cast<size_t>(s.Count()), -1);
    for (size_t r = 0; r < rows_.size(); ++r) rowOf[static_cast<size_t>(rows_[r])] = static_cast<int>(r);
    QModelIndexList after;
    for (const QModelIndex& i : before)
      after.push_back(index(rowOf[static_cast<size_t>(oldRows[static_cast<size_t>(i.row())])], i.column()));
    changePersistentIndexList(before, after);
  }
  emit layoutChanged();
}

}  // namespace skyh::ui
