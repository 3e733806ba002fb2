#pragma once
// ASCII exchange files: one line of values per record, one file per record
// type, CR LF line ends on every platform.
#include <string>
#include <vector>

#include "data/file_naming.h"
#include "data/record_store.h"

namespace skyh {

// Each record's line goes to prefix + "." + its type's name. Appends when
// `append`, else replaces. False when some file could not be opened or
// written (logged; the other files are still written).
bool WriteAsciiFiles(const RecordStore& store, const std::string& prefix, bool append);
bool WriteAsciiFiles(const std::vector<const CRecord*>& records, const std::string& prefix, bool append);

// 0 when every file was written (or the store is empty), 1 when the folder
// cannot be created or a file could not be written.
int ExportAsciiByPeriod(const RecordStore& store, const std::string& folder, const FileNaming& naming);

// Replaces the files beside the store's data file (or, without one, files
// named by the current moment in the working directory). 0, or 1 when a file
// could not be written.
int GenerateAscii(const RecordStore& store, const FileNaming& naming);

// The prefix GenerateAscii uses for a data file: the path up to the last "."
// of its file name.
std::string AsciiPrefixOf(const std::string& dataFilePath);

}  // namespace skyh
