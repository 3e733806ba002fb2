#include "support/temp_dir.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace skyh::test {

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "skyh-test-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl + "/";
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

static void Set(const std::string& name, const char* value) {
  value ? setenv(name.c_str(), value, 1) : unsetenv(name.c_str());
}

ScopedEnv::ScopedEnv(const char* name, const char* value)
    : name_(name), had_(std::getenv(name) != nullptr), old_(had_ ? std::getenv(name) : "") {
  Set(name_, value);
}

ScopedEnv::~ScopedEnv() { Set(name_, had_ ? old_.c_str() : nullptr); }

}  // namespace skyh::test
