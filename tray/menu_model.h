#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ruvello {

// One item of the tray menu. Items of a control array share a name and differ by `index`.
struct MenuItem {
    static constexpr std::int32_t kNoIndex = -1;

    std::string name;
    std::int32_t index = kNoIndex;  // 0 ... 32767 for a control array element
    std::string caption;
    bool enabled = true;
    bool visible = true;
    bool checked = false;
    MenuItem* parent = nullptr;
    std::vector<std::unique_ptr<MenuItem>> children;

    bool IsSeparator() const { return caption == "-"; }
    bool IsSubmenu() const { return !children.empty(); }
};

// The menu tree of the hidden main window as it stands when the window is loaded. Backends render
// the children of mnuTrayRoot and report a chosen item through Click; every change of an item is
// announced to the observer, so that a rendered menu can follow it.
class MenuTree {
  public:
    using ItemHandler = std::function<void(const MenuItem&)>;

    MenuTree();

    MenuItem& Root() { return *root_; }
    // The item with that name (not a control array element); a missing one is a failure.
    MenuItem& Item(std::string_view name);
    // Element `index` of a control array; a missing one is a failure.
    MenuItem& Element(std::string_view name, std::int16_t index);
    // Adds element `index` after element `index` - 1 in the same submenu; an existing element or
    // a missing predecessor is a failure.
    MenuItem& CreateElement(std::string_view name, std::int16_t index);

    void SetCaption(MenuItem& item, std::string caption);
    void SetChecked(MenuItem& item, bool checked);
    void SetVisible(MenuItem& item, bool visible);

    void SetClickHandler(ItemHandler handler) { onClick_ = std::move(handler); }
    void SetObserver(ItemHandler observer) { onChange_ = std::move(observer); }
    // The chosen item's click event; disabled items and separators have none.
    void Click(const MenuItem& item);

  private:
    MenuItem* Find(std::string_view name, std::int32_t index);
    void Changed(const MenuItem& item);

    std::unique_ptr<MenuItem> root_;
    ItemHandler onClick_;
    ItemHandler onChange_;
};

}  // namespace ruvello
