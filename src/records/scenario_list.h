#pragma once
// The scenario list read from ScnList.dat: the record layouts, in file order
// (the first scenario that fits a record wins).
//
// Scenarios are held through shared pointers: a record keeps the scenario it
// was decoded with alive, so reloading the list never leaves a record
// pointing at a freed scenario.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "records/scenario_type.h"

namespace skyh {

class ClistScn {
 public:
  // Reads the file and replaces the contents. False (contents kept) when the
  // file does not exist or cannot be read; true otherwise, also when an
  // unknown decode type stopped the reading (the user is told).
  bool Load(const std::string& path);
  // The same reading for a file's text already in memory; always true.
  bool LoadText(std::string_view text);

  // The scenario of a record, or null for an unknown record.
  std::shared_ptr<const CScnType> Find(std::string_view key, const uint8_t* record, size_t length) const;

  size_t Count() const { return scenarios_.size(); }
  const CScnType& At(size_t index) const { return *scenarios_[index]; }
  std::shared_ptr<const CScnType> Shared(size_t index) const { return scenarios_[index]; }
  void Clear() { scenarios_.clear(); }

 private:
  void LoadLines(const std::vector<std::string>& lines);

  std::vector<std::shared_ptr<const CScnType>> scenarios_;
};

// The application-wide scenario list: an immutable snapshot replaced whole on
// reload, so a decode that runs meanwhile finishes with the list it started
// with, and its records keep their scenarios.
class SharedScenarioList {
 public:
  // Never null; empty before the first load.
  std::shared_ptr<const ClistScn> Snapshot() const;
  // As ClistScn::Load; the current list stays when the file cannot be read.
  bool Load(const std::string& path);
  bool LoadText(std::string_view text);
  void Clear();

 private:
  void Replace(std::shared_ptr<const ClistScn> list);

  mutable std::mutex mutex_;
  std::shared_ptr<const ClistScn> current_ = std::make_shared<const ClistScn>();
};

SharedScenarioList& GetScenarioList();

}  // namespace skyh
