#include "ui/menu_state.h"

#include "resources/dialog_template.h"

namespace talmor {

MenuState::MenuState(int menu_id) {
  const MenuTemplate* menu = menu_id != 0 ? FindMenuTemplate(menu_id) : nullptr;
  if (menu == nullptr) return;
  for (const MenuPopupTemplate& popup : menu->popups) {
    for (const MenuItemTemplate& item : popup.items) {
      if (!item.separator) items_[item.id] = {item.checked, true};
    }
  }
}

bool MenuState::Check(int id, bool checked) {
  auto it = items_.find(id);
  if (it == items_.end()) return false;
  it->second.checked = checked;
  return true;
}

int MenuState::IsChecked(int id) const {
  auto it = items_.find(id);
  return it == items_.end() ? -1 : (it->second.checked ? 1 : 0);
}

bool MenuState::Enable(int id, bool enabled) {
  auto it = items_.find(id);
  if (it == items_.end()) return false;
  it->second.enabled = enabled;
  return true;
}

bool MenuState::IsEnabled(int id) const {
  auto it = items_.find(id);
  return it != items_.end() && it->second.enabled;
}

}  // namespace talmor
