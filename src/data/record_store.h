#pragma once
// The ordered records of one retrieval or data file, headed by the
// instrument's settings record.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "records/record.h"
#include "records/settings_area.h"

namespace skyh {

// Where a load stopped short of the end of a K8 file: the parse ends at the
// first inconsistent length and the rest is not read.
struct K8Unread {
  size_t at = 0;     // offset of the first byte not read
  size_t bytes = 0;  // how many; 0 when the whole file was read
};

class RecordStore {
 public:
  RecordStore();
  ~RecordStore();
  RecordStore(const RecordStore&) = delete;
  RecordStore& operator=(const RecordStore&) = delete;

  int32_t Count() const { return static_cast<int32_t>(records.size()); }
  // Null for an index outside the store.
  const CRecord* At(int32_t index) const;
  const CRecord* Header() const { return header.get(); }
  int32_t UnknownCount() const { return unknownCount; }

  // Decodes a fresh record with `scenarioKey`; bytes that decoding rejects
  // add nothing. True when the record was added.
  bool AddCopy(const uint8_t* bytes, uint16_t length);
  void AddAllFrom(const RecordStore& other);
  void RemoveAt(int32_t index);
  // Drops records, header and path; the version fields and names stay.
  void Clear();
  // Drops the records only.
  void ClearRecords();
  // Takes the version fields from the bytes, derives the two names and makes
  // the bytes the header whatever decoding says; gives the decode result.
  bool SetHeader(const uint8_t* bytes, uint16_t length);
  uint32_t TotalSize() const;

  // Keeps the first of records with equal time and bytes; gives the number
  // removed.
  int32_t RemoveDuplicates();
  // Stable order by time (-1 first ascending, last descending); true when the
  // order changed.
  bool Order(bool ascending);
  void Reverse();

  // A new file (or no append) is replaced as a whole; appending adds the
  // records behind those already there, without a second header (WriteK8File
  // tells how a damaged file is met; `notice` receives what was done then).
  bool SaveToFile(const std::string& filePath, bool append, std::string* notice = nullptr) const;
  // Fills a cleared store; false when the file cannot be read or is not a
  // data file. `unread` (when given) tells what a file beginning with "|"
  // left unread.
  bool LoadFromFile(const std::string& filePath, K8Unread* unread = nullptr);
  // The parse of LoadFromFile on bytes in memory.
  bool LoadFromBuffer(const uint8_t* data, size_t size, K8Unread* unread = nullptr);
  void AssignFrom(const RecordStore& other);

  // The raw bytes of the header (if any) and of every record in store order.
  std::string FileImage(bool withHeader) const;

  VersionCode versionCode{};
  std::array<uint8_t, 2> versionNumber{};
  std::string path;
  std::string scenarioKey;
  std::string parameterFileName;
  std::string headNumber;

 private:
  std::unique_ptr<CRecord> header;
  int32_t unknownCount = 0;
  std::vector<std::unique_ptr<CRecord>> records;
};

}  // namespace skyh
