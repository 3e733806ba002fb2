#pragma once
// printf-exact formatting, for texts whose printf format is part of the
// behaviour (log lines, messages, value texts, file names).
#include <fmt/printf.h>

#include <string>

namespace skyh {

template <typename... Args>
std::string Sprintf(const char* format, const Args&... args) {
  return fmt::sprintf(format, args...);
}

}  // namespace skyh
