#include "data/k8_file.h"

#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#include "core/file_read.h"
#include "core/format.h"
#include "core/ini_file.h"
#include "core/log_file.h"
#include "core/time_util.h"
#include "data/export_runs.h"
#include "data/k8_layout.h"

namespace skyh {
namespace {

bool ResizeFile(const std::string& path, size_t size) {
  std::error_code error;
  std::filesystem::resize_file(path, size, error);
  return !error;
}

// A new file has nothing to protect: a torn end left by a crash is cut off
// by the next append.
bool WriteNewFile(const std::string& path, const std::string& image) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  bool ok = std::fwrite(image.data(), 1, image.size(), file) == image.size();
  if (std::fclose(file) != 0) ok = false;
  if (!ok) (void)std::remove(path.c_str());  // the failure is what gets reported
  return ok;
}

// The damaged file keeps every byte, under a name beside it that no earlier
// one has taken; the records go to a new file.
bool SetAsideAndStartAfresh(const std::string& path, const std::string& image, size_t damagedAt,
                            std::string* notice) {
  const DateTimeFields now = NowUtcFields();
  const std::string stem = path + Sprintf(".damaged-%04d%02d%02d%02d%02d%02d", now.year, now.month, now.day,
                                          now.hour, now.minute, now.second);
  std::string aside = stem;
  std::error_code error;
  for (int n = 2; !error && std::filesystem::exists(aside, error); ++n) aside = stem + "-" + std::to_string(n);
  if (!error) std::filesystem::rename(path, aside, error);
  if (error) {
    LogLine("\"%s\" is damaged at byte %zu and can't be moved aside: %s\n", path.c_str(), damagedAt,
            error.message().c_str());
    return false;
  }
  const std::string text = Sprintf("\"%s\" is damaged at byte %zu: moved aside to \"%s\", a new file was started\n",
                                   path.c_str(), damagedAt, aside.c_str());
  LogLine("%s", text);
  if (notice) *notice = text;
  return WriteNewFile(path, image);
}

// The records of an image, behind its header.
std::vector<std::string_view> RecordsOf(const std::string& image, size_t headerSize) {
  std::vector<std::string_view> out;
  const auto* data = reinterpret_cast<const uint8_t*>(image.data());
  size_t p = headerSize;
  while (size_t length = ConsistentRecordLength(data, image.size(), p)) {
    out.emplace_back(image.data() + p, length);
    p += length;
  }
  return out;
}

bool AppendK8File(const std::string& path, const std::string& image, size_t headerSize, std::string* notice) {
  std::string old;
  if (!ReadBinaryFile(path, old)) return false;
  const auto* bytes = reinterpret_cast<const uint8_t*>(old.data());
  std::vector<std::string_view> written;  // the file's records, behind its header
  bool header = true;
  const size_t end = WalkK8Buffer(bytes, old.size(), [&](size_t offset, size_t length) {
    if (!header) written.emplace_back(old.data() + offset, length);
    header = false;
  });
  switch (ClassifyK8End(bytes, old.size(), end)) {
    case K8End::kClean:
      break;
    case K8End::kTorn:
      // An append cut short: everything behind it would be unreachable for the parse.
      LogLine("\"%s\" ended in an incomplete record; cut back from %zu to %zu bytes\n", path.c_str(), old.size(), end);
      if (!ResizeFile(path, end)) return false;
      break;
    case K8End::kDamaged:
      return SetAsideAndStartAfresh(path, image, end, notice);
  }

  size_t from = end == 0 ? 0 : headerSize;
  if (end > 0) {
    const std::vector<std::string_view> next = RecordsOf(image, headerSize);
    const size_t already = AlreadyAtEnd(written, next);
    for (size_t i = 0; i < already; ++i) from += next[i].size();
    if (already > 0)
      LogLine("%zu records already end \"%s\"; they are not appended again\n", already, path.c_str());
  }
  written.clear();
  old.clear();
  old.shrink_to_fit();

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

}  // namespace

bool ReadBinaryFile(const std::string& path, std::string& out) {
  return ReadWholeFile(path, out) == FileReadStatus::kRead;
}

std::string K8DamageText(const std::string& path, size_t at, int32_t records, size_t unreadBytes) {
  return Sprintf("%s: damaged at byte %zu: %d records read, %zu bytes not read\n", path.c_str(), at, records,
                 unreadBytes);
}

bool WriteK8File(const std::string& path, const std::string& image, size_t headerSize, bool append,
                 std::string* notice) {
  if (!append) return WriteFileAtomically(path, image);
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (!std::filesystem::exists(status)) return WriteNewFile(path, image);
  // Opening a pipe would wait for a writer; a folder holds no records.
  if (!std::filesystem::is_regular_file(status)) return false;
  return AppendK8File(path, image, headerSize, notice);
}

}  // namespace skyh
