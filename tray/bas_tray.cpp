#include "tray/bas_tray.h"

#include "platform/failure.h"
#include "platform/text.h"

namespace ruvello {

std::u16string FillTipField(const std::string& text) {
    std::u16string field = Utf8ToUtf16(text);
    std::size_t cut = TrayIconData::kTipLength - 1;
    if (field.size() > cut && field[cut - 1] >= 0xD800 && field[cut - 1] < 0xDC00) {
        --cut;  // never split a surrogate pair
    }
    if (field.size() > cut) {
        field.resize(cut);
    }
    field.push_back(u'\0');
    field.resize(TrayIconData::kTipLength, u' ');
    return field;
}

std::string TipText(const std::u16string& field) {
    return Utf16ToUtf8(std::u16string_view(field).substr(0, field.find(u'\0')));
}

void basTray::TrayAdd(WindowHandle window, const std::string& text) {
    record_.window = window;
    record_.icon = host_.DefaultAppIcon();
    ownsIcon_ = false;
    record_.tip = FillTipField(text);
    host_.NotifyIcon(TrayMessage::Add, record_);
}

// An icon of the module's own that this one replaces is destroyed once the tray has the new one
// (the tray keeps a copy of the icon it shows), or the request failed.
void basTray::TraySetIcon(IconHandle icon) {
    const IconHandle replaced = ownsIcon_ && record_.icon != icon ? record_.icon : 0;
    record_.icon = icon;
    ownsIcon_ = true;
    auto destroyReplaced = [&] {
        if (replaced != 0) {
            CarryOn([&] { host_.DestroyIcon(replaced); });
        }
    };
    try {
        host_.NotifyIcon(TrayMessage::Modify, record_);
    } catch (...) {
        destroyReplaced();
        throw;
    }
    destroyReplaced();
}

void basTray::TraySetTip(const std::string& text) {
    record_.tip = FillTipField(text);
    host_.NotifyIcon(TrayMessage::Modify, record_);
}

void basTray::TrayRemove() {
    CarryOn([&] { host_.NotifyIcon(TrayMessage::Delete, record_); });
    if (ownsIcon_ && record_.icon != 0) {
        CarryOn([&] { host_.DestroyIcon(record_.icon); });
    }
}

void basTray::TrayReAdd() {
    if (record_.window != 0) {
        host_.NotifyIcon(TrayMessage::Add, record_);
    }
}

}  // namespace ruvello
