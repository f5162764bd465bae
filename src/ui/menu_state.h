#pragma once

#include <map>

// The check marks and enabled states of a dialog's menu items, as the dialog code last set them;
// a backend renders them (or keeps them, without a display).

namespace talmor {

class MenuState {
 public:
  // The command items of menu template `menu_id` with their initial check marks, all enabled;
  // none for 0 or an unknown menu.
  explicit MenuState(int menu_id);

  bool Has(int id) const { return items_.count(id) != 0; }
  bool Check(int id, bool checked);    // false when there is no such item
  int IsChecked(int id) const;         // 1, 0, or -1 for no such item
  bool Enable(int id, bool enabled);   // false when there is no such item
  bool IsEnabled(int id) const;        // false for no such item

 private:
  struct Item {
    bool checked;
    bool enabled;
  };
  std::map<int, Item> items_;
};

}  // namespace talmor
