#pragma once

#include "platform/session_state.h"

namespace ruvello {

// Asks the desktop over D-Bus at each call: logind's LockedHint of this session on the system
// bus, and the screen saver on the session bus. A bus or service that is missing says nothing.
class QtSessionState : public SessionState {
  public:
    bool Locked() override;
};

}  // namespace ruvello
