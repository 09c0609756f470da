#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "capture/output_compose.h"
#include "capture/png_file_writer.h"
#include "capture/screen_capture.h"
#include "capture/wayland/output_copy_wayland.h"
#include "platform/wayland/output_layout_wayland.h"
#include "platform/wayland/wayland_connection_wayland.h"

namespace ruvello {

// The whole desktop of a Wayland compositor that lets clients copy outputs (sway, Hyprland,
// river, Wayfire, labwc, COSMIC ...): every output copied, composed where it sits, no dialog.
class WaylandScreenCapture : public ScreenCapture {
  public:
    WaylandScreenCapture(WaylandConnection& connection, WaylandOutputLayout& layout);

    void GdiPlusStart() override;
    void GdiPlusStop() override;
    bool CaptureScreenToPng(const std::string& path) override;

  private:
    std::optional<ComposedImage> CopyAndCompose();
    OutputCopier::Holds Holds() const;

    WaylandConnection& connection_;
    WaylandOutputLayout& layout_;
    std::unique_ptr<OutputCopier> copier_;
    std::vector<OutputPicture> pictures_;
    OutputComposer composer_;
    PngFileWriter writer_;
};

}  // namespace ruvello
