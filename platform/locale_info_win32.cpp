#include "platform/locale_info_win32.h"

#include <windows.h>

#include "platform/text_win32.h"

namespace ruvello {

std::string LocaleInfoWin32::DecimalSeparator() {
    wchar_t separator[8] = {};  // at most four characters and the zero
    const int length = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, separator,
                                       static_cast<int>(sizeof separator / sizeof separator[0]));
    return length > 1 ? Utf8(separator) : std::string(".");
}

// The words of the user's interface language; the core knows the German and the English ones.
std::string LocaleInfoWin32::BooleanWord(bool value) {
    if (PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_GERMAN) {
        return value ? "Wahr" : "Falsch";
    }
    return value ? "True" : "False";
}

}  // namespace ruvello
