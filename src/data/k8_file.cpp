#include "data/k8_file.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "core/file_read.h"
#include "core/ini_file.h"
#include "core/log_file.h"
#include "data/k8_layout.h"

namespace skyh {
namespace {

bool ResizeFile(const std::string& path, size_t size) {
  std::error_code error;
  std::filesystem::resize_file(path, size, error);
  return !error;
}

bool AppendK8File(const std::string& path, const std::string& image, size_t headerSize) {
  std::string old;
  if (!ReadBinaryFile(path, old)) return false;
  const auto* bytes = reinterpret_cast<const uint8_t*>(old.data());
  if (!old.empty() && bytes[0] != kHeaderType) {
    LogLine("Can't append to \"%s\": it is not a K8 file\n", path.c_str());
    return false;
  }
  size_t end = WalkK8Buffer(bytes, old.size(), nullptr);
  if (end < old.size()) {
    // A torn record (an append cut short): everything behind it would be
    // unreachable for the parse.
    LogLine("\"%s\" ended in an incomplete record; cut back from %zu to %zu bytes\n", path.c_str(), old.size(), end);
    if (!ResizeFile(path, end)) return false;
  }
  old.clear();
  old.shrink_to_fit();

  size_t from = end == 0 ? 0 : headerSize;
  size_t count = image.size() - from;
  if (count == 0) return true;
  FILE* file = std::fopen(path.c_str(), "ab");
  if (!file) return false;
  bool ok = std::fwrite(image.data() + from, 1, count, file) == count;
  if (std::fflush(file) != 0) ok = false;
  if (std::fclose(file) != 0) ok = false;
  if (!ok) {
    ResizeFile(path, end);
    LogLine("Writing \"%s\" failed; the file was cut back to %zu bytes\n", path.c_str(), end);
  }
  return ok;
}

// A new file has nothing to protect: a torn end left by a crash is cut off
// by the next append.
bool WriteNewFile(const std::string& path, const std::string& image) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  bool ok = std::fwrite(image.data(), 1, image.size(), file) == image.size();
  if (std::fclose(file) != 0) ok = false;
  if (!ok) std::remove(path.c_str());
  return ok;
}

}  // namespace

bool ReadBinaryFile(const std::string& path, std::string& out) {
  return ReadWholeFile(path, out) == FileReadStatus::kRead;
}

bool WriteK8File(const std::string& path, const std::string& image, size_t headerSize, bool append) {
  if (!append) return WriteFileAtomically(path, image);
  if (FILE* probe = std::fopen(path.c_str(), "rb")) {
    std::fclose(probe);
    return AppendK8File(path, image, headerSize);
  }
  return WriteNewFile(path, image);
}

}  // namespace skyh
