#include "shot_scene_x11.h"

#include <X11/Xutil.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "terminal_lines.h"

namespace ruvello::bench {

ShotScene::ShotScene(Display* display, const std::string& kind)
    : display_(display), scroll_(kind == "scroll") {
    if (kind != "desk" && kind != "scroll") {
        throw std::runtime_error("unknown scene " + kind);
    }
    const int screen = DefaultScreen(display_);
    width_ = DisplayWidth(display_, screen);
    height_ = DisplayHeight(display_, screen);
    gc_ = XCreateGC(display_, DefaultRootWindow(display_), 0, nullptr);
    font_ = XLoadQueryFont(display_, "fixed");  // built into every X server
    if (font_) {
        XSetFont(display_, gc_, font_->fid);
        line_height_ = font_->ascent + font_->descent;
    }
    if (scroll_) {
        picture_ = XGetImage(display_, DefaultRootWindow(display_), 0, 0, unsigned(width_),
                             unsigned(height_), AllPlanes, ZPixmap);
        full_ = MakeWindow(0, 0, width_, height_, 0);
    } else {
        // A terminal of 24 lines at 1920x1080, as tall a share of larger screens; a clock in the
        // top right corner.
        const int scale = std::max(1, height_ / 1080);
        terminal_rows_ = 24 * scale;
        terminal_width_ = std::min(width_, 100 * 6 + 8);
        terminal_ = MakeWindow(width_ / 50, height_ - height_ / 12 - terminal_rows_ * line_height_,
                               terminal_width_, terminal_rows_ * line_height_, 0x101010);
        clock_ = MakeWindow(width_ - 220, 2, 200, line_height_ + 8, 0x303438);
        for (int row = 0; row < terminal_rows_; ++row) {
            DrawTerminalLine(row);
        }
    }
    XSync(display_, False);
}

ShotScene::~ShotScene() {
    if (picture_) {
        XDestroyImage(picture_);
    }
    if (font_) {
        XFreeFont(display_, font_);
    }
    XFreeGC(display_, gc_);
}

Window ShotScene::MakeWindow(int x, int y, int width, int height, unsigned long background) {
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = background;
    attributes.backing_store = Always;
    const Window window =
        XCreateWindow(display_, DefaultRootWindow(display_), x, y, unsigned(width),
                      unsigned(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                      CWOverrideRedirect | CWBackPixel | CWBackingStore, &attributes);
    XMapRaised(display_, window);
    XSync(display_, False);
    return window;
}

void ShotScene::DrawTerminalLine(int row) {
    const std::string text = TerminalLine(step_ * 1000 + row);
    XSetForeground(display_, gc_, 0x101010);
    XFillRectangle(display_, terminal_, gc_, 0, row * line_height_, unsigned(terminal_width_),
                   unsigned(line_height_));
    XSetForeground(display_, gc_, row % 5 == 0 ? 0x7fd0ff : 0xd0d0d0);
    XDrawString(display_, terminal_, gc_, 4, row * line_height_ + (font_ ? font_->ascent : 10),
                text.c_str(), static_cast<int>(text.size()));
}

void ShotScene::DrawClock() {
    const int minutes = 9 * 60 + step_;
    char text[32];
    std::snprintf(text, sizeof text, "Di 14. Jan  %02d:%02d", (minutes / 60) % 24, minutes % 60);
    XClearWindow(display_, clock_);
    XSetForeground(display_, gc_, 0xf0f0f0);
    XDrawString(display_, clock_, gc_, 8, 4 + (font_ ? font_->ascent : 10), text,
                static_cast<int>(std::char_traits<char>::length(text)));
}

void ShotScene::Next() {
    ++step_;
    if (scroll_) {
        const int offset = (step_ * 37) % height_;
        XPutImage(display_, full_, gc_, picture_, 0, offset, 0, 0, unsigned(width_),
                  unsigned(height_ - offset));
        if (offset > 0) {
            XPutImage(display_, full_, gc_, picture_, 0, 0, 0, height_ - offset, unsigned(width_),
                      unsigned(offset));
        }
    } else {
        DrawClock();
        // One new line at the bottom, the others one line up.
        XCopyArea(display_, terminal_, terminal_, gc_, 0, line_height_, unsigned(terminal_width_),
                  unsigned((terminal_rows_ - 1) * line_height_), 0, 0);
        DrawTerminalLine(terminal_rows_ - 1);
    }
    XSync(display_, False);
}

}  // namespace ruvello::bench
