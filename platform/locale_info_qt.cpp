#include "platform/locale_info_qt.h"

#include <QLocale>

namespace ruvello {

std::string QtLocaleInfo::DecimalSeparator() {
    return QLocale::system().decimalPoint().toStdString();
}

// Linux has no locale word for a boolean; a German locale gets the German words, which read back.
std::string QtLocaleInfo::BooleanWord(bool value) {
    if (QLocale::system().language() == QLocale::German) {
        return value ? "Wahr" : "Falsch";
    }
    return value ? "True" : "False";
}

}  // namespace ruvello
