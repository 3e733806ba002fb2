#pragma once
// Reading and writing K8 data files so that a crash or a full disk never
// leaves a file that cannot be loaded.
#include <cstddef>
#include <string>

namespace skyh {

// The whole file; false when it cannot be opened or read.
bool ReadBinaryFile(const std::string& path, std::string& out);

// `image` holds the header's bytes (its first `headerSize` bytes) followed by
// the records. Without append the file is replaced through a temporary file
// renamed over it; appending to a missing file writes it directly (a failed
// write removes it again). Appending to a file first cuts a
// torn end back to the last complete record, writes the header when the file
// has none left, and cuts the file back to where it was when the write
// fails. A non-empty file that does not start with "|" is left alone (false).
bool WriteK8File(const std::string& path, const std::string& image, size_t headerSize, bool append);

}  // namespace skyh
