#include "core/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <mutex>

#include "core/file_read.h"
#include "core/folders.h"
#include "core/text_util.h"

namespace skyh {
namespace {

std::recursive_mutex& IniLock() {
  static std::recursive_mutex m;
  return m;
}

struct RawLine {
  std::string text;  // without the line end
  bool cr = false;   // ended with CR LF
};

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

void SplitRaw(std::string_view text, std::vector<RawLine>& lines, bool& endsWithNewline);

// The file's lines; a missing file has none. False (with the reason) when
// the file exists but cannot be read: that is never an empty file.
bool ReadRaw(const std::string& path, std::vector<RawLine>& lines, bool& endsWithNewline, bool* bom = nullptr,
             std::string* reason = nullptr) {
  std::string text;
  FileReadStatus status = ReadWholeFile(path, text, reason);
  if (status == FileReadStatus::kMissing) text.clear();
  else if (status != FileReadStatus::kRead) return false;
  // Editors on Windows put a byte-order mark in front of the first section.
  const bool hasBom = text.compare(0, kUtf8Bom.size(), kUtf8Bom) == 0;
  if (hasBom) text.erase(0, kUtf8Bom.size());
  if (bom) *bom = hasBom;
  SplitRaw(text, lines, endsWithNewline);
  return true;
}

void SplitRaw(std::string_view text, std::vector<RawLine>& lines, bool& endsWithNewline) {
  endsWithNewline = text.empty() || text.back() == '\n';
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    bool hasNl = end != std::string::npos;
    if (!hasNl) end = text.size();
    RawLine line;
    line.text = text.substr(start, end - start);
    if (!line.text.empty() && line.text.back() == '\r') {
      line.text.pop_back();
      line.cr = true;
    }
    lines.push_back(std::move(line));
    start = end + 1;
  }
}

// A section header gives its name; anything else gives false.
bool SectionName(std::string_view line, std::string& name) {
  std::string_view t = TrimBlanks(line);
  if (t.empty() || t.front() != '[') return false;
  size_t close = t.find(']');
  if (close == std::string_view::npos) return false;
  name = std::string(TrimBlanks(t.substr(1, close - 1)));
  return true;
}

bool KeyValue(std::string_view line, std::string& key, std::string& value) {
  std::string_view t = TrimBlanks(line);
  if (t.empty() || t.front() == ';' || t.front() == '[') return false;
  size_t eq = t.find('=');
  if (eq == std::string_view::npos) return false;
  key = std::string(TrimBlanks(t.substr(0, eq)));
  std::string_view v = TrimBlanks(t.substr(eq + 1));
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    v = v.substr(1, v.size() - 2);
  }
  value = std::string(v);
  return !key.empty();
}

// Looks a value up; false when the key is missing.
bool Lookup(const std::string& path, const std::string& section, const std::string& key, std::string& value) {
  if (path.empty()) return false;
  std::vector<RawLine> lines;
  bool nl;
  if (!ReadRaw(path, lines, nl)) return false;
  bool inSection = false, seenSection = false;
  for (const RawLine& line : lines) {
    std::string name;
    if (SectionName(line.text, name)) {
      if (inSection) return false;  // the first section of that name is the one
      inSection = !seenSection && EqualsNoCase(name, section);
      seenSection = seenSection || inSection;
      continue;
    }
    if (!inSection) continue;
    std::string k, v;
    if (KeyValue(line.text, k, v) && EqualsNoCase(k, key)) {
      value = v;
      return true;
    }
  }
  return false;
}

std::string SanitiseValue(const std::string& value) {
  size_t cut = value.find_first_of("\r\n");
  return cut == std::string::npos ? value : value.substr(0, cut);
}

// The keys of the first section of that name, in file order (first of
// duplicates); false when there is no such section.
bool SectionOfLines(const std::vector<RawLine>& lines, const std::string& section,
                    std::vector<std::pair<std::string, std::string>>& out) {
  bool inSection = false, seenSection = false;
  for (const RawLine& line : lines) {
    std::string name;
    if (SectionName(line.text, name)) {
      if (inSection) break;
      inSection = !seenSection && EqualsNoCase(name, section);
      seenSection = seenSection || inSection;
      continue;
    }
    std::string k, v;
    if (!inSection || !KeyValue(line.text, k, v)) continue;
    bool dup = false;
    for (auto& kv : out) dup = dup || EqualsNoCase(kv.first, k);
    if (dup) continue;
    if (v.size() > CIniFile::kMaxString) v.resize(CIniFile::kMaxString);
    out.emplace_back(k, v);
  }
  return seenSection;
}

}  // namespace

CIniFile::CIniFile(std::string p, bool completeBareName) : path(std::move(p)) {
  if (completeBareName && !path.empty() && path.find('/') == std::string::npos) {
    std::string folder = ApplicationFolder();
    if (!folder.empty()) path = folder + path;
  }
}

int32_t CIniFile::GetInt(const std::string& section, const std::string& key, int32_t def) const {
  std::lock_guard<std::recursive_mutex> guard(IniLock());
  std::string value;
  if (!Lookup(path, section, key, value) || value.empty()) return def;
  return LeadingInteger(value);
}

int32_t CIniFile::GetIntInRange(const std::string& section, const std::string& key, int32_t def, int32_t min,
                                int32_t max) const {
  int32_t v = GetInt(section, key, def);
  return (v >= min && v <= max) ? v : def;
}

std::string CIniFile::GetString(const std::string& section, const std::string& key, const std::string& def) const {
  std::lock_guard<std::recursive_mutex> guard(IniLock());
  std::string value;
  if (!Lookup(path, section, key, value) || value.empty()) return def;
  if (value.size() > kMaxString) value.resize(kMaxString);
  return value;
}

std::vector<std::pair<std::string, std::string>> CIniFile::GetSection(const std::string& section) const {
  std::lock_guard<std::recursive_mutex> guard(IniLock());
  std::vector<std::pair<std::string, std::string>> out;
  if (path.empty()) return out;
  std::vector<RawLine> lines;
  bool nl;
  if (!ReadRaw(path, lines, nl)) return out;
  SectionOfLines(lines, section, out);
  return out;
}

std::vector<std::string> CIniFile::SectionNames() const {
  std::lock_guard<std::recursive_mutex> guard(IniLock());
  std::vector<std::string> out;
  std::vector<RawLine> lines;
  bool nl;
  if (path.empty() || !ReadRaw(path, lines, nl)) return out;
  for (const RawLine& line : lines) {
    std::string name;
    if (!SectionName(line.text, name)) continue;
    bool dup = false;
    for (const std::string& seen : out) dup = dup || EqualsNoCase(seen, name);
    if (!dup) out.push_back(name);
  }
  return out;
}

bool CIniFile::CheckReadable(std::string* reason) const {
  if (path.empty()) return true;
  std::lock_guard<std::recursive_mutex> guard(IniLock());
  std::vector<RawLine> lines;
  bool nl;
  return ReadRaw(path, lines, nl, nullptr, reason);
}

bool ParseIniSection(std::string_view text, const std::string& section,
                     std::vector<std::pair<std::string, std::string>>& entries) {
  if (text.compare(0, kUtf8Bom.size(), kUtf8Bom) == 0) text.remove_prefix(kUtf8Bom.size());
  std::vector<RawLine> lines;
  bool nl;
  SplitRaw(text, lines, nl);
  entries.clear();
  return SectionOfLines(lines, section, entries);
}

namespace {

// Sets one key in the file's lines: in place when it exists (keeping its own
// spelling), at the end of its section, or in a new section at the end.
void SetInLines(std::vector<RawLine>& lines, bool& endsWithNewline, const IniEntry& entry) {
  const bool crlf = !lines.empty() && lines.front().cr;
  const std::string value = SanitiseValue(entry.value);
  long sectionLine = -1, keyLine = -1, lastContent = -1;
  bool inSection = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string name;
    if (SectionName(lines[i].text, name)) {
      if (inSection) break;
      if (sectionLine < 0 && EqualsNoCase(name, entry.section)) {
        inSection = true;
        sectionLine = static_cast<long>(i);
        lastContent = static_cast<long>(i);
      }
      continue;
    }
    if (!inSection) continue;
    if (!TrimBlanks(lines[i].text).empty()) lastContent = static_cast<long>(i);
    std::string k, v;
    if (KeyValue(lines[i].text, k, v) && EqualsNoCase(k, entry.key)) {
      keyLine = static_cast<long>(i);
      break;
    }
  }

  if (keyLine >= 0) {
    std::string& text = lines[keyLine].text;
    text = text.substr(0, text.find('=')) + "=" + value;
    return;
  }
  if (sectionLine >= 0) {
    lines.insert(lines.begin() + lastContent + 1, RawLine{entry.key + "=" + value, crlf});
  } else {
    lines.push_back(RawLine{"[" + entry.section + "]", crlf});
    lines.push_back(RawLine{entry.key + "=" + value, crlf});
  }
  endsWithNewline = true;
}

}  // namespace

bool CIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
  return WriteStrings({{section, key, value}});
}

bool CIniFile::WriteStrings(const std::vector<IniEntry>& entries) {
  if (path.empty()) return false;
  std::lock_guard<std::recursive_mutex> guard(IniLock());
  std::vector<RawLine> lines;
  bool endsWithNewline = true, bom = false;
  // A file that cannot be read is never rewritten: its keys would be lost.
  if (!ReadRaw(path, lines, endsWithNewline, &bom)) return false;
  for (const IniEntry& entry : entries) SetInLines(lines, endsWithNewline, entry);

  std::string content(bom ? kUtf8Bom : std::string_view());
  for (size_t i = 0; i < lines.size(); ++i) {
    content += lines[i].text;
    if (i + 1 < lines.size() || endsWithNewline) content += lines[i].cr ? "\r\n" : "\n";
  }
  return WriteFileAtomically(path, content);
}

bool CIniFile::WriteInt(const std::string& section, const std::string& key, int32_t value) {
  return WriteString(section, key, std::to_string(value));
}

std::string ResolveSymlinks(const std::string& path) {
  std::string current = path;
  // As many links as the system follows itself.
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::vector<char> buf(static_cast<size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1);
    ssize_t n = ::readlink(current.c_str(), buf.data(), buf.size());
    if (n < 0 || static_cast<size_t>(n) >= buf.size()) return {};
    std::string target(buf.data(), static_cast<size_t>(n));
    if (target.empty()) return {};
    if (target[0] != '/') {
      size_t slash = current.rfind('/');
      target = (slash == std::string::npos ? std::string() : current.substr(0, slash + 1)) + target;
    }
    current = target;
  }
  return {};
}

bool WriteFileAtomically(const std::string& path, const std::string& content) {
  // A link stays a link: its target is replaced, in the target's folder.
  const std::string target = ResolveSymlinks(path);
  if (target.empty()) return false;
  std::string tmpl = target + ".tmpXXXXXX";
  int fd = mkstemp(tmpl.data());
  if (fd < 0) return false;
  struct stat st;
  if (::stat(target.c_str(), &st) == 0) fchmod(fd, st.st_mode & 07777);
  else fchmod(fd, 0644);
  size_t done = 0;
  bool ok = true;
  while (done < content.size()) {
    ssize_t n = ::write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (ok && ::fsync(fd) != 0) ok = false;
  if (::close(fd) != 0) ok = false;
  if (ok && std::rename(tmpl.c_str(), target.c_str()) != 0) ok = false;
  if (!ok) (void)std::remove(tmpl.c_str());  // the failure is what gets reported
  return ok;
}

}  // namespace skyh
