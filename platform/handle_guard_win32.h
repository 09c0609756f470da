#pragma once

#include <windows.h>

#include <utility>

namespace ruvello {

template <class Handle>
Handle NullHandle() {
    return nullptr;
}
inline HANDLE InvalidHandleValue() {
    return INVALID_HANDLE_VALUE;
}

// Owns one Windows handle and releases it with `Release` on every path out of its scope.
// `Invalid` is the value the creating function returns on failure.
template <class Handle, auto Release, auto Invalid = &NullHandle<Handle>>
class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != Invalid(); }
    Handle release() { return std::exchange(handle_, Invalid()); }
    void reset(Handle handle = Invalid()) {
        if (handle_ != Invalid()) {
            Release(handle_);
        }
        handle_ = handle;
    }

  private:
    Handle handle_ = Invalid();
};

// A file opened with CreateFileW.
using FileHandle = UniqueHandle<HANDLE, &CloseHandle, &InvalidHandleValue>;
// A search begun with FindFirstFileW.
using FindHandle = UniqueHandle<HANDLE, &FindClose, &InvalidHandleValue>;

}  // namespace ruvello
