#include "link/serial_ports_list.h"

#include <libserialport.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace skyh {
namespace {

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

}  // namespace

bool NaturalLess(const std::string& a, const std::string& b) {
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      size_t iEnd = i;
      size_t jEnd = j;
      while (iEnd < a.size() && IsDigit(a[iEnd])) ++iEnd;
      while (jEnd < b.size() && IsDigit(b[jEnd])) ++jEnd;
      // Compare the values without converting: strip leading zeros, then
      // a longer run is larger, equal lengths compare digit by digit.
      size_t iSig = i;
      size_t jSig = j;
      while (iSig + 1 < iEnd && a[iSig] == '0') ++iSig;
      while (jSig + 1 < jEnd && b[jSig] == '0') ++jSig;
      if (iEnd - iSig != jEnd - jSig) return iEnd - iSig < jEnd - jSig;
      int cmp = a.compare(iSig, iEnd - iSig, b, jSig, jEnd - jSig);
      if (cmp != 0) return cmp < 0;
      // Equal values: fewer leading zeros first, for a stable total order.
      if (iEnd - i != jEnd - j) return iEnd - i < jEnd - j;
      i = iEnd;
      j = jEnd;
      continue;
    }
    if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
    ++i;
    ++j;
  }
  return a.size() - i < b.size() - j;
}

bool ListSerialPorts(std::vector<std::string>& target) {
  sp_port** ports = nullptr;
  if (sp_list_ports(&ports) != SP_OK) return false;
  std::vector<std::string> found;
  for (sp_port** p = ports; *p != nullptr; ++p) {
    const char* name = sp_get_port_name(*p);
    if (name != nullptr && *name != '\0') found.emplace_back(name);
  }
  sp_free_port_list(ports);
  std::sort(found.begin(), found.end(), NaturalLess);
  found.erase(std::unique(found.begin(), found.end()), found.end());
  target.insert(target.end(), found.begin(), found.end());
  return !found.empty();
}

bool ListStableSerialPorts(std::vector<std::string>& target, const std::string& folder) {
  std::error_code ec;
  std::vector<std::string> found;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    found.push_back(it->path().string());
  std::sort(found.begin(), found.end(), NaturalLess);
  target.insert(target.end(), found.begin(), found.end());
  return !found.empty();
}

}  // namespace skyh
