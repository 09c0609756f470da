#include "tray/menu_model.h"

#include <algorithm>
#include <stdexcept>

namespace ruvello {
namespace {

struct InitialItem {
    const char* name;
    const char* caption;
    bool enabled;
    const char* parent;  // nullptr: a child of mnuTrayRoot
    bool controlArray;
};

// The tree in display order, with the captions it has before start-up fills it in.
constexpr InitialItem kInitialTree[] = {
    {"mnuTitle", "Ruvello", false, nullptr, false},
    {"mnuInfoCount", "Bilder: ?", false, nullptr, false},
    {"mnuInfoSize", "Größe: ? MB", false, nullptr, false},
    {"mnuVersion", "Version", false, nullptr, false},
    {"mnuspacer1", "-", true, nullptr, false},
    {"mnuMaxCount", "Max. Bilder", true, nullptr, false},
    {"mnuCount", "", true, "mnuMaxCount", true},
    {"mnuMaxSize", "Max. Speicher (MB)", true, nullptr, false},
    {"mnuSize", "", true, "mnuMaxSize", true},
    {"mnuInterval", "Intervall", true, nullptr, false},
    {"mnuIntervalItem", "", true, "mnuInterval", true},
    {"mnuFlash", "Optische Rückmeldung (Blitz) bei manuellem Screenshot", true, nullptr, false},
    {"mnuAutostart", "Automatischer Programmstart bei Anmeldung", true, nullptr, false},
    {"mnuspacer2", "-", true, nullptr, false},
    {"mnuUseCount", "Begrenzung Anzahl aktiv", true, nullptr, false},
    {"mnuUseSize", "Begrenzung Speicher aktiv", true, nullptr, false},
    {"mnuspacer3", "-", true, nullptr, false},
    {"mnuExit", "Beenden", true, nullptr, false},
};

MenuItem* FindIn(MenuItem& item, std::string_view name, std::int32_t index) {
    if (item.name == name && item.index == index) {
        return &item;
    }
    for (auto& child : item.children) {
        if (MenuItem* found = FindIn(*child, name, index)) {
            return found;
        }
    }
    return nullptr;
}

MenuItem& AddChild(MenuItem& parent, std::size_t position, MenuItem item) {
    item.parent = &parent;
    auto inserted =
        parent.children.insert(parent.children.begin() + static_cast<std::ptrdiff_t>(position),
                               std::make_unique<MenuItem>(std::move(item)));
    return **inserted;
}

}  // namespace

MenuTree::MenuTree() : root_(std::make_unique<MenuItem>()) {
    root_->name = "mnuTrayRoot";
    root_->caption = "mnuTrayRoot";
    for (const InitialItem& initial : kInitialTree) {
        MenuItem& parent = initial.parent ? Item(initial.parent) : *root_;
        MenuItem item;
        item.name = initial.name;
        item.index = initial.controlArray ? 0 : MenuItem::kNoIndex;
        item.caption = initial.caption;
        item.enabled = initial.enabled;
        AddChild(parent, parent.children.size(), std::move(item));
    }
}

MenuItem* MenuTree::Find(std::string_view name, std::int32_t index) {
    return FindIn(*root_, name, index);
}

MenuItem& MenuTree::Item(std::string_view name) {
    MenuItem* item = Find(name, MenuItem::kNoIndex);
    if (!item) {
        throw std::out_of_range("no menu item " + std::string(name));
    }
    return *item;
}

MenuItem& MenuTree::Element(std::string_view name, std::int16_t index) {
    MenuItem* item = index >= 0 ? Find(name, index) : nullptr;
    if (!item) {
        throw std::out_of_range("no menu item " + std::string(name) + "(" + std::to_string(index) +
                                ")");
    }
    return *item;
}

MenuItem& MenuTree::CreateElement(std::string_view name, std::int16_t index) {
    if (index <= 0 || Find(name, index)) {
        throw std::invalid_argument("menu item " + std::string(name) + "(" + std::to_string(index) +
                                    ") exists already");
    }
    MenuItem& previous = Element(name, static_cast<std::int16_t>(index - 1));
    MenuItem& parent = *previous.parent;
    const auto at = std::find_if(parent.children.begin(), parent.children.end(),
                                 [&](const auto& child) { return child.get() == &previous; });
    MenuItem item;
    item.name = std::string(name);
    item.index = index;
    MenuItem& created = AddChild(parent, static_cast<std::size_t>(at - parent.children.begin()) + 1,
                                 std::move(item));
    Changed(parent);
    return created;
}

void MenuTree::SetCaption(MenuItem& item, std::string caption) {
    item.caption = std::move(caption);
    Changed(item);
}

void MenuTree::SetChecked(MenuItem& item, bool checked) {
    item.checked = checked;
    Changed(item);
}

void MenuTree::SetVisible(MenuItem& item, bool visible) {
    item.visible = visible;
    Changed(item);
}

void MenuTree::Click(const MenuItem& item) {
    if (item.enabled && !item.IsSeparator() && !item.IsSubmenu() && onClick_) {
        onClick_(item);
    }
}

void MenuTree::Changed(const MenuItem& item) {
    if (onChange_) {
        onChange_(item);
    }
}

}  // namespace ruvello
