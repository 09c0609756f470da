#pragma once

#include <X11/Xlib.h>

#include <string>
#include <vector>

namespace ruvello::bench {

// What changes on the screen between two screenshots of the comparison, drawn by the X server
// in windows of this process over whatever the root window shows.
class ShotScene {
  public:
    // "desk": a clock that ticks and a terminal that prints a line and scrolls, the rest of the
    // desktop as it is. "scroll": the whole screen, a picture of the desktop as it was at the
    // start, scrolled by some rows at each step, as a photo scrolls or a video plays.
    ShotScene(Display* display, const std::string& kind);
    ShotScene(const ShotScene&) = delete;
    ShotScene& operator=(const ShotScene&) = delete;
    ~ShotScene();

    // Draws the next state and returns when the server has drawn it.
    void Next();

  private:
    Window MakeWindow(int x, int y, int width, int height, unsigned long background);
    void DrawTerminalLine(int row);
    void DrawClock();

    Display* display_;
    bool scroll_;
    int width_;
    int height_;
    int step_ = 0;
    GC gc_;
    XFontStruct* font_;
    Window clock_ = 0;
    Window terminal_ = 0;
    int terminal_width_ = 0;
    int terminal_rows_ = 0;
    int line_height_ = 13;
    XImage* picture_ = nullptr;  // the screen at the start, for "scroll"
    Window full_ = 0;
};

}  // namespace ruvello::bench
