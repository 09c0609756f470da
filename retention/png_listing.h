#pragma once

#include <string>
#include <vector>

#include "platform/file_system.h"

namespace ruvello {

// The names of the PNG files directly in `folder` (which ends in a separator), in the file
// system's order: ordinary files only, ".png" in any letter case.
std::vector<std::string> ListPngFiles(FileSystem& fs, const std::string& folder);

// Runs `read` for a listed file; false when the file vanished after the listing, which then no
// longer counts. Any other failure passes on.
template <class Read>
bool ReadUnlessVanished(Read&& read);

}  // namespace ruvello

#include "platform/platform_error.h"

namespace ruvello {

template <class Read>
bool ReadUnlessVanished(Read&& read) {
    try {
        read();
        return true;
    } catch (const PlatformError& error) {
        if (error.cause() == PlatformError::Cause::NotFound) {
            return false;
        }
        throw;
    }
}

}  // namespace ruvello
