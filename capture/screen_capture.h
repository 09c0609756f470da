#pragma once

#include <string>

namespace ruvello {

// The screen grab and the PNG writer.
class ScreenCapture {
  public:
    virtual ~ScreenCapture() = default;

    // Readies the image library for the captures; a failure only makes every capture fail.
    virtual void GdiPlusStart() = 0;
    virtual void GdiPlusStop() = 0;
    // Writes the whole virtual screen as a PNG file at exactly `path`, replacing an existing file.
    // True exactly when the file was written; a failure leaves no file and shows nothing.
    virtual bool CaptureScreenToPng(const std::string& path) = 0;
    // The next capture is a screenshot the user asked for by hand. A desktop that stopped
    // sharing its screen (the user refused or ended it) may ask the user again now, and only now:
    // the automatic screenshots never ask by themselves.
    virtual void BeforeManualShot() {}
};

}  // namespace ruvello
