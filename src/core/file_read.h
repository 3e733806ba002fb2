#pragma once
// The one way files are read: whole, into memory, with the reason when that
// fails. Only regular files are opened, so a folder or a named pipe in place
// of a file is an error instead of a block, and a read error (a failing card)
// is reported instead of being thrown.
#include <cstdint>
#include <string>
#include <vector>

namespace skyh {

enum class FileReadStatus {
  kRead,
  kMissing,     // no such file (a missing optional file is not an error)
  kNotAFile,    // a folder, a pipe, a device...
  kFailed,      // cannot be opened or read
};

// `reason` gets a short text for anything but kRead ("is a folder",
// "Permission denied", ...). `content` is empty unless the file was read.
FileReadStatus ReadWholeFile(const std::string& path, std::string& content, std::string* reason = nullptr);
FileReadStatus ReadWholeFile(const std::string& path, std::vector<uint8_t>& content, std::string* reason = nullptr);

// "Can't read \"path\": reason" for messages.
std::string FileReadErrorText(const std::string& path, const std::string& reason);

}  // namespace skyh
