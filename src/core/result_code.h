#pragma once
// The number behind a result, for messages, log lines and files, where the
// number itself is what the reader sees.
#include <type_traits>

namespace skyh {

template <typename Result>
requires std::is_enum_v<Result>
constexpr std::underlying_type_t<Result> ResultCode(Result result) {
  return static_cast<std::underlying_type_t<Result>>(result);
}

}  // namespace skyh
