#pragma once

// GDI+ for the flat API. Its headers want the COM declarations that WIN32_LEAN_AND_MEAN leaves
// out, and min and max in their namespace where windows.h does not define them (NOMINMAX).
#include <windows.h>

#include <objidl.h>

#include <algorithm>

namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus

#include <gdiplus.h>

namespace ruvello {

// A GDI+ image, from its creation to GdipDisposeImage.
class GdiPlusImage {
  public:
    GdiPlusImage() = default;
    GdiPlusImage(const GdiPlusImage&) = delete;
    GdiPlusImage& operator=(const GdiPlusImage&) = delete;
    ~GdiPlusImage() {
        if (bitmap_) {
            Gdiplus::DllExports::GdipDisposeImage(bitmap_);
        }
    }

    Gdiplus::GpBitmap** Out() { return &bitmap_; }
    Gdiplus::GpBitmap* get() const { return bitmap_; }

  private:
    Gdiplus::GpBitmap* bitmap_ = nullptr;
};

}  // namespace ruvello
