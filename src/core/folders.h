#pragma once
// Where things live on this platform. Folder texts end with "/".
#include <string>

namespace skyh {

// Folder of the running executable; empty when it cannot be found.
std::string ApplicationFolder();
// $XDG_CONFIG_HOME, else ~/.config; empty when neither is known.
std::string RoamingFolder();
// XDG documents folder ($XDG_DOCUMENTS_DIR, the user-dirs.dirs entry), else
// ~/Documents; empty when no home is known.
std::string DocumentsFolder();

bool FileExists(const std::string& path);       // anything at that name
bool IsDirectory(const std::string& path);
bool IsRegularFile(const std::string& path);
// Creates one folder level; true when it exists as a folder afterwards.
bool CreateFolder(const std::string& path);
// Creates the folder and any missing parents.
bool CreateFolders(const std::string& path);
// Adds a trailing "/" when missing (empty stays empty).
std::string WithSlash(const std::string& folder);

}  // namespace skyh
