#pragma once

#include "settings/profile_store.h"

namespace ruvello {

// config.ini through the Windows profile API, as an ANSI file: every text goes through the ANSI
// code page, and a text without an exact form there is never written.
class ProfileStoreWin32 : public ProfileStore {
  public:
    static constexpr unsigned kBufferSize = 1024;

    std::string ReadString(const std::string& path, const std::string& section,
                           const std::string& key, const std::string& defaultText) override;
    void WriteString(const std::string& path, const std::string& section, const std::string& key,
                     const std::string& value) override;
};

}  // namespace ruvello
