#include "tests/cerunner/MenuBar.h"

namespace {

enum : uint32_t {
    kRtMenu = 4,
    kRtRcData = 10,
    kDropDown = 0x08,   // TBSTYLE_DROPDOWN: the button opens a drop-down of the menu
    kMenuPopup = 0x10,  // MF_POPUP: the item opens a sub-menu (and has no command)
    kMenuEnd = 0x80,    // MF_END: the last item of its level
    kButtonWords = 7,   // image, command, state, style, string, reserved, drop-down
};

// Little-endian 16-bit words out of a resource, bounds kept.
struct Words {
    const std::vector<uint8_t>& bytes;
    size_t at = 0;
    bool bad = false;

    uint32_t Next() {
        if (at + 2 > bytes.size()) {
            bad = true;
            return 0;
        }
        at += 2;
        return bytes[at - 2] | uint32_t(bytes[at - 1]) << 8;
    }
    void SkipText() {
        while (!bad && Next() != 0) {
        }
    }
};

// A top-level item of the menu: a drop-down and the commands in it, or a
// plain item, which opens none.
struct TopItem {
    bool dropDown;
    std::set<uint32_t> commands;
};

// One level of a menu resource: every command in it and below goes to
// *all, and at the top each item to *top. False on a menu cut short.
bool ReadMenuLevel(Words& w, std::vector<TopItem>* top, std::set<uint32_t>* all, int depth) {
    for (;;) {
        uint32_t flags = w.Next();
        std::set<uint32_t> below;
        if (flags & kMenuPopup) {
            w.SkipText();
            if (depth > 8 || !ReadMenuLevel(w, nullptr, &below, depth + 1)) return false;
        } else {
            below.insert(w.Next());
            w.SkipText();
        }
        if (w.bad) return false;
        all->insert(below.begin(), below.end());
        if (top) top->push_back({(flags & kMenuPopup) != 0, below});
        if (flags & kMenuEnd) return true;
    }
}

}  // namespace

std::string ReadMenuBar(uint32_t id, const ResourceLookup& resource, const StringLookup& text,
                        MenuBar* bar) {
    std::vector<uint8_t> definition, menu;
    if (!resource(kRtRcData, id, &definition))
        return "no menu-bar definition " + std::to_string(id);
    Words w{definition};
    uint32_t menuId = w.Next(), count = w.Next();
    if (w.bad || definition.size() < 4 + 2 * kButtonWords * size_t(count))
        return "menu-bar definition " + std::to_string(id) + " is shorter than its " +
               std::to_string(count) + " buttons";
    if (!resource(kRtMenu, menuId, &menu)) return "no menu " + std::to_string(menuId);
    Words m{menu};
    m.at = 4 + size_t(menu.size() >= 4 ? menu[2] | menu[3] << 8 : 0);  // after the header
    std::vector<TopItem> top;
    std::set<uint32_t> all;
    if (menu.size() < 4 || !ReadMenuLevel(m, &top, &all, 0))
        return "menu " + std::to_string(menuId) + " is cut short";

    *bar = MenuBar();
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t b[kButtonWords];
        for (uint32_t& word : b) word = w.Next();
        MenuBarButton button{b[1], b[4] ? text(b[4]) : u"", b[6]};
        std::string which = "button " + std::to_string(i);
        if (b[4] && button.label.empty()) return which + ": no string " + std::to_string(b[4]);
        if (b[3] & kDropDown) {
            if (button.subMenu >= top.size() || !top[button.subMenu].dropDown)
                return which + ": menu " + std::to_string(menuId) + " has no drop-down " +
                       std::to_string(button.subMenu);
            const std::set<uint32_t>& items = top[button.subMenu].commands;
            bar->commands.insert(items.begin(), items.end());
        } else {
            bar->commands.insert(button.command);
        }
        bar->buttons.push_back(button);
    }
    return "";
}
