#pragma once
// INI accessor with the Windows profile-file semantics: section and key names
// are case-insensitive, values are trimmed (and lose one pair of surrounding
// quotes), strings are read up to 259 characters, and a missing or empty
// value gives the default. No cache: every call reads or writes the file.
//
// Every access in the process goes through one lock, and every write
// replaces the file atomically, so a crash mid-write never leaves a
// truncated configuration behind.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace skyh {

struct IniEntry {
  std::string section, key, value;
};

class CIniFile {
 public:
  // With `completeBareName`, a path without any folder part is placed in the
  // application folder.
  explicit CIniFile(std::string path, bool completeBareName = true);

  const std::string& Path() const { return path; }

  int32_t GetInt(const std::string& section, const std::string& key, int32_t def) const;
  int32_t GetIntInRange(const std::string& section, const std::string& key, int32_t def, int32_t min,
                        int32_t max) const;
  std::string GetString(const std::string& section, const std::string& key, const std::string& def) const;
  // All key/value pairs of a section in file order (first of duplicates).
  std::vector<std::pair<std::string, std::string>> GetSection(const std::string& section) const;

  // Creates file, section and key as needed. False when the file could not
  // be written (the profile API does not report it; callers may ignore it).
  bool WriteString(const std::string& section, const std::string& key, const std::string& value);
  bool WriteInt(const std::string& section, const std::string& key, int32_t value);
  // Several keys in one read and one atomic replace, in order.
  bool WriteStrings(const std::vector<IniEntry>& entries);

  static constexpr size_t kMaxString = 259;

 private:
  std::string path;
};

// Replaces `path` with `content` atomically: temporary file in the same
// folder, flushed to disk, renamed over the old one.
bool WriteFileAtomically(const std::string& path, const std::string& content);

}  // namespace skyh
