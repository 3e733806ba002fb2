#pragma once
// The record list over the window's store: one row per shown record (an
// index into the store, nothing more), texts built only when the view asks
// for a row it paints. Sorting reorders the rows, never the store.
#include <QAbstractTableModel>
#include <cstdint>
#include <functional>
#include <vector>

#include "data/record_store.h"

namespace skyh::ui {

class RecordTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kType = 0, kSize = 1, kDateTime = 2, kData = 3 };

  explicit RecordTableModel(QObject* parent = nullptr);

  // Rebuilds the rows from the store in store order (the list refill).
  // Records without scenario are left out unless `viewUnknown`.
  void Reset(const RecordStore* store, bool viewUnknown);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // A header click: toggles the one direction flag shared by all columns
  // (the first click sorts ascending) and sorts the rows by that column.
  void SortByColumn(int column);
  bool SortAscending() const { return ascending_; }

  // The store index of a row; -1 outside.
  int32_t StoreIndex(int row) const;
  const CRecord* RecordAt(int row) const;

  // How many texts were built so far (the bench checks scrolling).
  uint64_t TextsBuilt() const { return textsBuilt_; }

  // The Data column's text: longer than 255 characters becomes the first
  // 220, "..." and the last 20.
  static std::string ShownText(std::string text);
  // "dd/mm/yyyy hh:mm:ss", or "---" without a time stamp.
  static std::string DateTimeText(int64_t time);

 private:
  const RecordStore* store_ = nullptr;
  std::vector<int32_t> rows_;
  bool ascending_ = false;
  mutable uint64_t textsBuilt_ = 0;
};

}  // namespace skyh::ui
