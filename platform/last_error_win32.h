#pragma once

#include <cstdint>
#include <string>

#include "platform/platform_error.h"

namespace ruvello {

// The core's failure for a Windows error code (GetLastError) or an HRESULT.
PlatformError ErrorFromCode(std::string operation, std::string path, std::uint32_t code);
PlatformError ErrorFromHresult(std::string operation, std::string path, std::int32_t hresult);
// Throws the failure for GetLastError().
[[noreturn]] void ThrowLastError(std::string operation, std::string path);

}  // namespace ruvello
