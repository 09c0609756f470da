#include "platform/last_error_win32.h"

#include <windows.h>

#include "platform/text_win32.h"

namespace ruvello {
namespace {

PlatformError::Cause CauseOf(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_NETPATH:
            return PlatformError::Cause::NotFound;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
            return PlatformError::Cause::AccessDenied;
        default:
            return PlatformError::Cause::Other;
    }
}

std::string SystemMessage(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length > 0 && buffer ? std::wstring(buffer, length) : std::wstring();
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
        text.pop_back();
    }
    return text.empty() ? "error " + std::to_string(code) : Utf8(text);
}

}  // namespace

PlatformError ErrorFromCode(std::string operation, std::string path, std::uint32_t code) {
    return PlatformError(std::move(operation), std::move(path), CauseOf(code), SystemMessage(code));
}

PlatformError ErrorFromHresult(std::string operation, std::string path, std::int32_t hresult) {
    const auto bits = static_cast<std::uint32_t>(hresult);
    // Win32 errors wrapped in an HRESULT keep their own cause.
    const bool win32 = (bits & 0xFFFF0000u) == 0x80070000u;
    const DWORD code = win32 ? (bits & 0xFFFFu) : bits;
    return PlatformError(std::move(operation), std::move(path),
                         win32 ? CauseOf(code) : PlatformError::Cause::Other, SystemMessage(code));
}

void ThrowLastError(std::string operation, std::string path) {
    throw ErrorFromCode(std::move(operation), std::move(path), GetLastError());
}

}  // namespace ruvello
