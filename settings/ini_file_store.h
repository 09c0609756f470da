#pragma once

#include <cstddef>
#include <string>

#include "platform/file_system.h"
#include "settings/profile_store.h"

namespace ruvello {

// A profile file kept by the program itself, with the rules of the Windows profile API: names
// matched regardless of case, blanks around values dropped, the first of duplicate sections and
// keys used, values cut to 1,023 bytes, CR LF line ends for what it writes. A write replaces the
// value in place or appends the key at the end of its section; every other byte of the file stays.
// The text is stored as it is given (UTF-8), so any path can be stored.
class IniFileStore : public ProfileStore {
  public:
    static constexpr std::size_t kMaxValueBytes = 1023;

    explicit IniFileStore(FileSystem& fs) : fs_(fs) {}

    std::string ReadString(const std::string& path, const std::string& section,
                           const std::string& key, const std::string& defaultText) override;
    void WriteString(const std::string& path, const std::string& section, const std::string& key,
                     const std::string& value) override;

  private:
    FileSystem& fs_;
};

// The text edits behind IniFileStore, apart from the file itself.
std::string IniLookup(const std::string& content, const std::string& section,
                      const std::string& key, const std::string& defaultText);
// The content with `key` set to `value`; `value` must hold no line break.
std::string IniUpdate(const std::string& content, const std::string& section,
                      const std::string& key, const std::string& value);

}  // namespace ruvello
