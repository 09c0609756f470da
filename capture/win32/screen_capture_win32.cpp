#include "capture/win32/screen_capture_win32.h"

#include "capture/win32/gdi_guards_win32.h"
#include "capture/win32/gdiplus_win32.h"
#include "platform/file_system_win32.h"
#include "platform/text_win32.h"

namespace ruvello {
namespace {

// GDI+'s built-in PNG encoder.
constexpr CLSID kPngEncoder = {
    0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

// Saves the bitmap under `path` (a temporary name); false when GDI+ refused.
bool SavePng(HBITMAP bitmap, const std::wstring& path) {
    GdiPlusImage image;
    if (Gdiplus::DllExports::GdipCreateBitmapFromHBITMAP(bitmap, nullptr, image.Out()) !=
        Gdiplus::Ok) {
        return false;
    }
    return Gdiplus::DllExports::GdipSaveImageToFile(image.get(), path.c_str(), &kPngEncoder,
                                                    nullptr) == Gdiplus::Ok;
}

}  // namespace

ScreenCaptureWin32::~ScreenCaptureWin32() {
    GdiPlusStop();
}

void ScreenCaptureWin32::GdiPlusStart() {
    if (token_ != 0) {
        return;
    }
    Gdiplus::GdiplusStartupInput input;
    input.GdiplusVersion = 1;
    input.DebugEventCallback = nullptr;
    input.SuppressBackgroundThread = FALSE;
    input.SuppressExternalCodecs = FALSE;
    ULONG_PTR token = 0;
    // A failure leaves the token at 0, and every capture then fails.
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok) {
        token_ = token;
    }
}

void ScreenCaptureWin32::GdiPlusStop() {
    if (token_ != 0) {
        Gdiplus::GdiplusShutdown(token_);
        token_ = 0;
    }
}

bool ScreenCaptureWin32::CaptureScreenToPng(const std::string& path) {
    if (token_ == 0 || !session_.DesktopVisible()) {
        return false;
    }
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    const int height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (width <= 0 || height <= 0) {
        return false;
    }
    const std::wstring target = Wide(path);
    const std::wstring temporary = TemporarySibling(target);
    bool saved = false;
    {
        const HWND desktop = GetDesktopWindow();
        WindowDC screen(desktop);
        if (!screen.get()) {
            return false;
        }
        MemoryDC memory(screen.get());
        if (!memory.get()) {
            return false;
        }
        GdiBitmap bitmap(CreateCompatibleBitmap(screen.get(), width, height));
        if (!bitmap.get()) {
            return false;
        }
        SelectedObject selected(memory.get(), bitmap.get());
        if (!selected.ok()) {
            return false;
        }
        if (!BitBlt(memory.get(), 0, 0, width, height, screen.get(), left, top, SRCCOPY)) {
            return false;
        }
        // GDI+ reads the bitmap's bits, which a bitmap still selected into a DC does not promise.
        selected.Restore();
        saved = SavePng(bitmap.get(), temporary);
    }
    if (!saved) {
        DeleteFileW(temporary.c_str());  // GDI+ may have begun the file
        return false;
    }
    return MoveIntoPlace(temporary, target);
}

}  // namespace ruvello
