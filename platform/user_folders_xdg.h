#pragma once

#include "platform/user_folders.h"

namespace ruvello {

// The user's folders as the XDG rules give them: the settings folder from XDG_CONFIG_HOME, the
// pictures folder from the user-dirs file (what `xdg-user-dir PICTURES` reads), else ~/Pictures.
class XdgUserFolders : public UserFolders {
  public:
    bool CanWriteIn(const std::string& folder) override;
    std::string ConfigHome() override;
    std::string PicturesFolder() override;
};

}  // namespace ruvello
