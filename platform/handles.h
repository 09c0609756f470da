#pragma once

#include <cstdint>

namespace ruvello {

// Native handles travel through the core as opaque values.
using WindowHandle = std::uintptr_t;
using IconHandle = std::uintptr_t;

}  // namespace ruvello
