#pragma once

namespace ruvello {

// What the desktop says about the user's session.
class SessionState {
  public:
    virtual ~SessionState() = default;

    // True while the session is locked, disconnected or behind its screen saver: the screen then
    // shows a lock screen or nothing, never the user's work.
    virtual bool Locked() = 0;
};

}  // namespace ruvello
