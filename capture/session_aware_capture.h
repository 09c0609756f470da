#pragma once

#include "capture/screen_capture.h"
#include "platform/session_state.h"

namespace ruvello {

// Takes no screenshot while the session is locked. A grab can succeed then with a black or
// lock-screen picture; such files are tiny, so the size limit never stops them, and within
// MaxImageCount intervals the count limit would have deleted every real screenshot.
class SessionAwareCapture : public ScreenCapture {
  public:
    SessionAwareCapture(ScreenCapture& screen, SessionState& session)
        : screen_(screen), session_(session) {}

    void GdiPlusStart() override { screen_.GdiPlusStart(); }
    void GdiPlusStop() override { screen_.GdiPlusStop(); }
    bool CaptureScreenToPng(const std::string& path) override;
    void BeforeManualShot() override { screen_.BeforeManualShot(); }

  private:
    ScreenCapture& screen_;
    SessionState& session_;
};

}  // namespace ruvello
