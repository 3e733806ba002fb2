#pragma once

namespace skyh {
constexpr int kVersionMajor = SKYH_VERSION_MAJOR;
constexpr int kVersionMinor = SKYH_VERSION_MINOR;
constexpr int kVersionRevision = SKYH_VERSION_PATCH;
}  // namespace skyh
