#include "autostart/autostart_host_win32.h"

#include <windows.h>

#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <charconv>

#include "platform/com_win32.h"
#include "platform/last_error_win32.h"
#include "platform/text_win32.h"

namespace ruvello {
namespace {

void Check(HRESULT result, const char* operation, const std::string& path) {
    if (FAILED(result)) {
        throw ErrorFromHresult(operation, path, result);
    }
}

// The name of the shortcut's file, which names its value under kStartupApprovedKey.
std::wstring ApprovalName(const std::string& path) {
    const std::size_t cut = path.find_last_of("\\/");
    return Wide(cut == std::string::npos ? path : path.substr(cut + 1));
}

}  // namespace

IconLocationParts SplitIconLocation(const std::string& location) {
    const std::size_t comma = location.rfind(',');
    if (comma == std::string::npos) {
        return {location, 0};
    }
    IconLocationParts parts{location.substr(0, comma), 0};
    const char* first = location.data() + comma + 1;
    const char* last = location.data() + location.size();
    const auto [end, error] = std::from_chars(first, last, parts.index);
    if (error != std::errc() || end != last) {
        return {location, 0};  // the comma belongs to the path
    }
    return parts;
}

std::optional<std::string> AutostartHostWin32::StartupFolderLookup() {
    wchar_t folder[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, folder, CSIDL_STARTUP, FALSE)) {
        return std::nullopt;
    }
    return Utf8(folder);
}

std::string AutostartHostWin32::Environment(const std::string& name) {
    const std::wstring wideName = Wide(name);
    std::wstring value(256, L'\0');
    for (;;) {
        const DWORD length = GetEnvironmentVariableW(wideName.c_str(), value.data(),
                                                     static_cast<DWORD>(value.size()));
        if (length == 0) {
            return {};  // unset (or empty)
        }
        if (length < value.size()) {
            value.resize(length);
            return Utf8(value);
        }
        value.resize(length);  // the size it needs, with the zero
    }
}

void AutostartHostWin32::SaveShortcut(const std::string& path, const ShortcutFields& fields) {
    ComPtr<IShellLinkW> link;
    Check(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IShellLinkW),
                           link.OutVoid()),
          "shell link", path);
    Check(link->SetPath(Wide(fields.TargetPath).c_str()), "shortcut target", path);
    Check(link->SetWorkingDirectory(Wide(fields.WorkingDirectory).c_str()),
          "shortcut working directory", path);
    const IconLocationParts icon = SplitIconLocation(fields.IconLocation);
    Check(link->SetIconLocation(Wide(icon.path).c_str(), icon.index), "shortcut icon", path);
    Check(link->SetShowCmd(fields.WindowStyle), "shortcut window style", path);
    ComPtr<IPersistFile> file;
    Check(link.QueryInto(file), "shortcut file", path);
    Check(file->Save(Wide(path).c_str(), TRUE), "save shortcut", path);
}

bool AutostartHostWin32::SwitchedOff(const std::string& path) {
    // 12 bytes as Windows writes them: the state, then the time of the switch-off.
    BYTE value[64] = {};
    DWORD size = sizeof value;
    return RegGetValueW(HKEY_CURRENT_USER, kStartupApprovedKey, ApprovalName(path).c_str(),
                        RRF_RT_REG_BINARY, nullptr, value, &size) == ERROR_SUCCESS &&
           size > 0 && (value[0] & 1) != 0;
}

void AutostartHostWin32::SwitchOn(const std::string& path) {
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExW(HKEY_CURRENT_USER, kStartupApprovedKey, 0, KEY_SET_VALUE, &key);
    if (status == ERROR_SUCCESS) {
        status = RegDeleteValueW(key, ApprovalName(path).c_str());
        RegCloseKey(key);
    }
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
        throw ErrorFromCode("autostart approval", path, static_cast<std::uint32_t>(status));
    }
}

}  // namespace ruvello
