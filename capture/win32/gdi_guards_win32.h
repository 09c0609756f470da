#pragma once

#include <windows.h>

namespace ruvello {

// The device context of a window, from GetDC to ReleaseDC.
class WindowDC {
  public:
    explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    ~WindowDC() {
        if (dc_) {
            ReleaseDC(window_, dc_);
        }
    }
    HDC get() const { return dc_; }

  private:
    HWND window_;
    HDC dc_;
};

// A memory device context, from CreateCompatibleDC to DeleteDC.
class MemoryDC {
  public:
    explicit MemoryDC(HDC compatibleWith) : dc_(CreateCompatibleDC(compatibleWith)) {}
    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;
    ~MemoryDC() {
        if (dc_) {
            DeleteDC(dc_);
        }
    }
    HDC get() const { return dc_; }

  private:
    HDC dc_;
};

// A GDI bitmap, from CreateCompatibleBitmap to DeleteObject.
class GdiBitmap {
  public:
    explicit GdiBitmap(HBITMAP bitmap) : bitmap_(bitmap) {}
    GdiBitmap(const GdiBitmap&) = delete;
    GdiBitmap& operator=(const GdiBitmap&) = delete;
    ~GdiBitmap() {
        if (bitmap_) {
            DeleteObject(bitmap_);
        }
    }
    HBITMAP get() const { return bitmap_; }

  private:
    HBITMAP bitmap_;
};

// An object selected into a device context; the object it replaced goes back in at the end of
// the scope, or earlier through Restore.
class SelectedObject {
  public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;
    ~SelectedObject() { Restore(); }

    bool ok() const { return previous_ != nullptr && previous_ != HGDI_ERROR; }
    void Restore() {
        if (ok()) {
            SelectObject(dc_, previous_);
        }
        previous_ = nullptr;
    }

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

}  // namespace ruvello
