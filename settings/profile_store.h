#pragma once

#include <string>

namespace ruvello {

// One key of one section of a profile (INI) file. Windows answers it with its profile API; other
// desktops with IniFileStore.
class ProfileStore {
  public:
    virtual ~ProfileStore() = default;

    // The value under `key`, or `defaultText` when the file, the section or the key is missing.
    virtual std::string ReadString(const std::string& path, const std::string& section,
                                   const std::string& key, const std::string& defaultText) = 0;
    // Stores `value`, creating the file and the section when missing. Failures are not reported.
    virtual void WriteString(const std::string& path, const std::string& section,
                             const std::string& key, const std::string& value) = 0;
};

}  // namespace ruvello
