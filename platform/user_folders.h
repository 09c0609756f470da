#pragma once

#include <string>

namespace ruvello {

// The desktop's answers for a program that cannot keep its files beside itself (an installed one,
// in a folder the user may not write in).
class UserFolders {
  public:
    virtual ~UserFolders() = default;

    // Whether the current user may create and replace files directly in `folder`.
    virtual bool CanWriteIn(const std::string& folder) = 0;
    // The folder that holds the user's settings of all programs (on Linux ~/.config).
    virtual std::string ConfigHome() = 0;
    // The user's pictures folder.
    virtual std::string PicturesFolder() = 0;
};

}  // namespace ruvello
