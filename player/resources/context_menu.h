#pragma once
// Menu 273, the main window's context menu: its first pop-up holds these submenus in order. Texts are
// UTF-8 as stored, spaces before the tab and the shortcut after it included.
#include <span>
#include <string_view>

inline constexpr unsigned kContextMenuId = 273;

struct MenuCommand {
  unsigned id;
  std::string_view text;
};

struct MenuPopup {
  std::string_view title;
  std::span<const MenuCommand> commands;
};

std::span<const MenuPopup> ContextMenuPopups();
