#include "resources/dialog_template.h"

namespace talmor {
namespace {

std::vector<MenuTemplate> BuildMenus() {
  MenuItemTemplate separator;
  separator.separator = true;
  MenuTemplate viewer;
  viewer.id = kIdrAuditLogMenu;
  viewer.popups = {
      {"&Log", {{kIdmClearAllEvents, "&Clear All Events"}, separator, {kIdmExit, "E&xit"}}},
      {"&View",
       {{kIdmNewestFirst, "&Newest First"},
        {kIdmOldestFirst, "&Oldest First"},
        separator,
        {kIdmDetail, "&Detail..."},
        separator,
        {kIdmRefresh, "&Refresh"}}},
  };
  return {viewer};
}

// A 16 by 16 shield bearing the product's initial: '0' outline, '1' field, '2' letter.
IconResource MakeIcon(int id, uint32_t field, std::vector<std::string> letter) {
  IconResource icon;
  icon.id = id;
  icon.width = 16;
  icon.height = 16;
  icon.palette = {0xFF202020u, field, 0xFFFFFFFFu};
  icon.rows = {
      "..000000000000..",
      ".01111111111110.",
      ".01111111111110.",
      ".01111111111110.",
  };
  for (const std::string& row : letter) icon.rows.push_back(".011" + row + "110.");
  icon.rows.push_back("..011111111110..");
  icon.rows.push_back("...0111111110...");
  icon.rows.push_back("....00111100....");
  icon.rows.push_back("......0000......");
  icon.rows.push_back("................");
  return icon;
}

std::vector<IconResource> BuildIcons() {
  return {
      MakeIcon(
          kIdiProductMain, 0xFF1F5FAFu,
          {"11222211", "12111121", "12111121", "12112121", "12111221", "11222221", "11111112"}),
      MakeIcon(
          kIdiProductAlternative, 0xFF2F8F3Fu,
          {"11222221", "12111111", "12111111", "11222211", "11111121", "11111121", "12222211"}),
  };
}

}  // namespace

const MenuItemTemplate* MenuTemplate::FindItem(int item_id) const {
  for (const MenuPopupTemplate& popup : popups) {
    for (const MenuItemTemplate& item : popup.items) {
      if (!item.separator && item.id == item_id) return &item;
    }
  }
  return nullptr;
}

uint32_t IconResource::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || y >= height || y >= static_cast<int>(rows.size())) return 0;
  const std::string& row = rows[y];
  if (x >= width || x >= static_cast<int>(row.size())) return 0;
  char c = row[x];
  if (c < '0' || c - '0' >= static_cast<int>(palette.size())) return 0;
  return palette[c - '0'];
}

const MenuTemplate* FindMenuTemplate(int id) {
  static const std::vector<MenuTemplate> menus = BuildMenus();
  for (const MenuTemplate& m : menus) {
    if (m.id == id) return &m;
  }
  return nullptr;
}

const IconResource* FindIconResource(int id) {
  static const std::vector<IconResource> icons = BuildIcons();
  for (const IconResource& i : icons) {
    if (i.id == id) return &i;
  }
  return nullptr;
}

}  // namespace talmor
