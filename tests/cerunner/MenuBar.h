// The Pocket PC shell's menu bar as SHCreateMenuBar builds it from a
// program's resources: the menu-bar definition (RCDATA), the menu it
// names, the buttons' texts from the string table and the drop-down each
// button opens. A definition the shell could not build a bar from makes
// the call fail, and a handheld without a keyboard then has no way to the
// program's commands.
#pragma once

#include <stdint.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

struct MenuBarButton {
    uint32_t command;
    std::u16string label;
    uint32_t subMenu;  // the menu's drop-down this button opens; kNoSubMenu: none
};

enum : uint32_t { kNoSubMenu = 0xFFFF };

struct MenuBar {
    std::vector<MenuBarButton> buttons;
    std::set<uint32_t> commands;  // what a tap can send: plain buttons and the drop-downs' items
};

// A resource of the program by type and number; false when it has none.
typedef std::function<bool(uint32_t type, uint32_t id, std::vector<uint8_t>* bytes)> ResourceLookup;
// A string of the program's string table; empty when it has none.
typedef std::function<std::u16string(uint32_t id)> StringLookup;

// Reads menu bar `id` as the shell does. Returns why the shell would
// refuse it, or "" with *bar filled.
std::string ReadMenuBar(uint32_t id, const ResourceLookup& resource, const StringLookup& text,
                        MenuBar* bar);
