#include "app/frm_main.h"
#include "tray/choice_lists.h"

namespace ruvello {

// Sets the check marks of a control array: on where the choice equals the setting.
template <class Choice>
void frmMain::CheckOnly(const char* itemName, const std::vector<Choice>& choices,
                        std::int32_t setting) {
    for (std::size_t i = 0; i < choices.size(); ++i) {
        menu.SetChecked(menu.Element(itemName, static_cast<std::int16_t>(i)),
                        choices[i] == setting);
    }
}

template void frmMain::CheckOnly(const char*, const std::vector<std::int16_t>&, std::int32_t);
template void frmMain::CheckOnly(const char*, const std::vector<std::int32_t>&, std::int32_t);

void frmMain::BuildTrayMenu() {
    countChoices = ParseIntegerList(kCountChoices);
    sizeChoices = ParseIntegerList(kSizeChoices);
    intervalCaptions = ParseTextList(kIntervalCaptions);
    intervalChoices = ParseLongList(kIntervalChoices);

    auto fill = [&](const char* name, std::size_t count, auto captionOf) {
        for (std::size_t i = 0; i < count; ++i) {
            const auto index = static_cast<std::int16_t>(i);
            MenuItem& item = i > 0 ? menu.CreateElement(name, index) : menu.Element(name, 0);
            menu.SetCaption(item, captionOf(i));
            menu.SetVisible(item, true);
        }
    };
    fill("mnuCount", countChoices.size(),
         [&](std::size_t i) { return std::to_string(countChoices[i]); });
    CheckOnly("mnuCount", countChoices, AppSettings.MaxImageCount);
    fill("mnuSize", sizeChoices.size(),
         [&](std::size_t i) { return std::to_string(sizeChoices[i]); });
    CheckOnly("mnuSize", sizeChoices, AppSettings.MaxTotalSizeMB);
    fill("mnuIntervalItem", intervalChoices.size(),
         [&](std::size_t i) { return intervalCaptions.at(i); });
    CheckOnly("mnuIntervalItem", intervalChoices, AppSettings.IntervalSeconds);

    menu.SetCaption(menu.Item("mnuTitle"), appTitle);
    menu.SetChecked(menu.Item("mnuUseCount"), AppSettings.UseMaxCount);
    menu.SetChecked(menu.Item("mnuUseSize"), AppSettings.UseMaxSize);
    menu.SetChecked(menu.Item("mnuFlash"), AppSettings.ShowFlash);
    menu.SetChecked(menu.Item("mnuAutostart"), basAutostart_.IsAutostartEnabled());
    RefreshStatus();
}

}  // namespace ruvello
