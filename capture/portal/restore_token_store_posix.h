#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ruvello {

// The desktop portal's leave to record the screen again without asking: the restore token of
// the last screen-cast session. Each token is good for one session, so every start stores the
// new one. It lives apart from config.ini, in the user's state folder; deleting the file makes
// the portal ask again. Beside it: how many monitors the desktop had when the user made the
// choice, so that a start can tell a monitor that came since from one the user left out.
class RestoreTokenStore {
  public:
    explicit RestoreTokenStore(std::string path);

    // $XDG_STATE_HOME/ruvello/screencast-restore-token, under ~/.local/state when that variable
    // is unset or not an absolute path.
    static std::string DefaultPath();

    const std::string& Path() const { return path_; }
    // The stored token; empty when there is none or the file holds something else.
    std::string Load() const;
    // How many monitors the desktop had when the stored token's choice was made; 0 when the
    // file does not say.
    std::size_t MonitorsAtChoice() const;
    // Replaces the stored token, creating the folders; false when it could not be written.
    bool Save(const std::string& token, std::size_t monitorsAtChoice = 0);
    void Forget();

  private:
    std::string path_;
};

// Whether `text` has the form of a restore token (a UUID); the portal rejects the whole request
// for any other.
bool IsRestoreToken(std::string_view text);

}  // namespace ruvello
