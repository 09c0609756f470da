#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>

#include "capture/portal/portal_frames.h"

namespace ruvello {

// A monitor's newest frame: its pixels stay valid, untouched by the compositor, until a newer
// frame replaces it or the streams end.
struct StreamFrame {
    const std::uint8_t* data = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::size_t stride = 0;
    PixelOrder order = PixelOrder::kBgrx;
    SteadyTime taken;  // when the compositor took it
};

// The monitor streams of one screen-cast session, over the PipeWire connection the portal
// handed out: one stream per monitor node, each holding on to its newest frame and handing the
// one before back to the compositor. Runs on the calling thread: its owner watches LoopFd() and
// calls Dispatch() whenever that is readable.
class PipeWireStreams {
  public:
    // Takes `remoteFd`. `changed` runs after a new frame and when a stream ends. `buffers`: how
    // many frames each stream asks the compositor to keep for it (2 to 16).
    PipeWireStreams(int remoteFd, std::span<const std::uint32_t> nodeIds,
                    std::uint32_t maxFramesPerSecond, std::uint32_t buffers,
                    std::function<void()> changed);
    ~PipeWireStreams();
    PipeWireStreams(const PipeWireStreams&) = delete;
    PipeWireStreams& operator=(const PipeWireStreams&) = delete;

    // True once the connection failed or every stream ended: the desktop no longer shares the
    // screen (the user stopped it, or the monitors went away).
    bool Broken() const;
    // Whether one monitor's stream ended (its monitor went away, or the compositor ended it);
    // the others go on.
    bool Ended(std::size_t index) const;
    // Ends one stream: its monitor is gone although the compositor still holds it open.
    void End(std::size_t index);
    int LoopFd() const;
    void Dispatch();
    // Paused streams get no frames; a compositor sends one when they run again.
    void SetActive(bool active);
    // Asks the compositor for a new frame of one stream: a paused stream runs again, a running
    // one is paused and run again. The frame of a start can still be lost: PipeWire before 1.4
    // starts the compositor's side without waiting for ours, and ours, started later, drops
    // what came meanwhile. A program slower than its compositor can lose every one.
    void AskForFrame(std::size_t index);

    std::size_t Count() const;
    std::optional<StreamFrame> Newest(std::size_t index) const;
    // Hands every held frame back to the compositor, which may then fill it again: a stream
    // resumed for the next shot then finds all its buffers free. Newest() has nothing until the
    // next frame.
    void HandBackFrames();
    // Lets go of the program's pages of every frame's memory; a later read maps them again. For
    // the time between shots: the pages cost memory, mapping them again a little CPU.
    void LetGoOfFramePages();

    // The PipeWire side, for its callbacks.
    struct State;
    struct Stream;

  private:
    std::unique_ptr<State> state_;
};

}  // namespace ruvello
