#include "core/folders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "core/text_util.h"

namespace skyh {
namespace {

std::string EnvOrEmpty(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::string Home() { return EnvOrEmpty("HOME"); }

// Value of XDG_DOCUMENTS_DIR in user-dirs.dirs ("$HOME/..." or an absolute path).
std::string DocumentsFromUserDirs(const std::string& configHome) {
  std::vector<std::string> lines;
  if (configHome.empty() || !ReadTextLines(configHome + "user-dirs.dirs", lines)) return {};
  for (const std::string& raw : lines) {
    std::string_view line = TrimBlanks(raw);
    if (line.rfind("XDG_DOCUMENTS_DIR=", 0) != 0) continue;
    std::string_view v = line.substr(18);
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    std::string value(v);
    if (value.rfind("$HOME", 0) == 0) {
      std::string home = Home();
      while (!home.empty() && home.back() == '/') home.pop_back();
      value = home + value.substr(5);
    }
    if (value.empty() || value[0] != '/') return {};
    return value;
  }
  return {};
}

}  // namespace

std::string WithSlash(const std::string& folder) {
  if (folder.empty() || folder.back() == '/') return folder;
  return folder + "/";
}

std::string ApplicationFolder() {
  std::vector<char> buf(4096);
  ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return {};
  std::string exe(buf.data(), static_cast<size_t>(n));
  size_t slash = exe.rfind('/');
  if (slash == std::string::npos) return {};
  return exe.substr(0, slash + 1);
}

std::string RoamingFolder() {
  std::string xdg = EnvOrEmpty("XDG_CONFIG_HOME");
  if (!xdg.empty() && xdg[0] == '/') return WithSlash(xdg);
  std::string home = Home();
  if (home.empty()) return {};
  return WithSlash(home) + ".config/";
}

std::string DocumentsFolder() {
  std::string env = EnvOrEmpty("XDG_DOCUMENTS_DIR");
  if (!env.empty() && env[0] == '/') return WithSlash(env);
  std::string fromFile = DocumentsFromUserDirs(RoamingFolder());
  if (!fromFile.empty()) return WithSlash(fromFile);
  std::string home = Home();
  if (home.empty()) return {};
  return WithSlash(home) + "Documents/";
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool CreateFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0755) == 0) return true;
  return errno == EEXIST && IsDirectory(path);
}

bool CreateFolders(const std::string& path) {
  if (path.empty()) return false;
  if (IsDirectory(path)) return true;
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  size_t slash = p.rfind('/');
  if (slash != std::string::npos && slash > 0 && !CreateFolders(p.substr(0, slash))) return false;
  return CreateFolder(p);
}

}  // namespace skyh
