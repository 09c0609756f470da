#pragma once

#include <windows.h>

#include <objbase.h>

#include <utility>

namespace ruvello {

// COM for the calling thread, single-threaded apartment (the shell's objects want one), for as
// long as the object lives.
class ComApartment {
  public:
    ComApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() {
        if (SUCCEEDED(result_)) {
            CoUninitialize();
        }
    }

  private:
    HRESULT result_;
};

// One reference to a COM object, released on every path out of its scope.
template <class Interface>
class ComPtr {
  public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() {
        if (object_) {
            object_->Release();
        }
    }

    Interface* operator->() const { return object_; }
    Interface* get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    // For functions that hand out a new reference.
    void** OutVoid() {
        Reset();
        return reinterpret_cast<void**>(&object_);
    }
    template <class Other>
    HRESULT QueryInto(ComPtr<Other>& other) const {
        return object_->QueryInterface(__uuidof(Other), other.OutVoid());
    }

  private:
    void Reset() {
        if (object_) {
            std::exchange(object_, nullptr)->Release();
        }
    }

    Interface* object_ = nullptr;
};

}  // namespace ruvello
