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
#include <string_view>
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
  // The section names in file order (first of duplicates).
  std::vector<std::string> SectionNames() const;
  // False (with the reason) when the file exists but cannot be read. Reads
  // then give defaults and writes do nothing, so such a file is never
  // replaced by one holding only the keys written.
  bool CheckReadable(std::string* reason = nullptr) const;

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

// The keys of `section` in an INI file's text, as GetSection gives them;
// false when the text has no such section. A leading byte-order mark is
// skipped.
bool ParseIniSection(std::string_view text, const std::string& section,
                     std::vector<std::pair<std::string, std::string>>& entries);

// Replaces `path` with `content` atomically: temporary file in the same
// folder, flushed to disk, renamed over the old one. When `path` is a
// symbolic link, its final target is replaced and the link stays.
bool WriteFileAtomically(const std::string& path, const std::string& content);

// The file a chain of symbolic links ends at (`path` itself when it is no
// link); empty when the chain is broken or loops.
std::string ResolveSymlinks(const std::string& path);

}  // namespace skyh
