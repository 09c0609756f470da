#pragma once

namespace ruvello {

inline constexpr int kVersionMajor = 1;
inline constexpr int kVersionMinor = 1;
inline constexpr int kVersionRevision = 0;

}  // namespace ruvello
