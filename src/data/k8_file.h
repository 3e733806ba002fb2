#pragma once
// Reading and writing K8 data files so that a crash or a full disk never
// leaves a file that cannot be loaded.
#include <cstddef>
#include <cstdint>
#include <string>

namespace skyh {

// The whole file; false when it cannot be opened or read.
bool ReadBinaryFile(const std::string& path, std::string& out);

// `image` holds the header's bytes (its first `headerSize` bytes) followed by
// the records. Without append the file is replaced through a temporary file
// renamed over it; appending to a missing file writes it directly (a failed
// write removes it again). Appending to a file first cuts a torn end (a last
// record cut short) back to the last complete record, writes the header when
// the file has none left, leaves out the records that already end the file,
// and cuts the file back to where it was when the write fails.
// Any other damage is never cut: the file is moved aside unchanged to
// NAME.damaged-<UTC yyyymmddhhmmss>, a new file is started with the header,
// and `notice` (when given) receives the logged text that says so.
// "damaged at byte N: M records read, K bytes not read", after the file's
// name, for a load that stopped short of the end.
std::string K8DamageText(const std::string& path, size_t at, int32_t records, size_t unreadBytes);

bool WriteK8File(const std::string& path, const std::string& image, size_t headerSize, bool append,
                 std::string* notice = nullptr);

}  // namespace skyh
