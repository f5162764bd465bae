#pragma once

#include "ui/control.h"
#include "ui/dialog.h"

namespace talmor {

class SecurityManager;

// Picks one right of the catalogue and shows the groups granted it (template 136); "Assign..."
// chooses them in a MembershipDialog. Each confirmed assignment is written to the database at
// once, so neither Close (OK) nor Escape (cancel) undoes one.
class GroupRightsPolicyDialog : public Dialog {
 public:
  GroupRightsPolicyDialog(SecurityManager& manager, Window* owner);

  ListBox grant_list_;
  ComboBox right_combo_;

 protected:
  bool OnInitDialog() override;
  void DoDataExchange(DataExchange& dx) override;
  bool OnCommand(int id, Notify code) override;

 private:
  // The groups granted the selected right (the combo box position is the right number).
  void RefreshGrantList();
  void OnAssign();

  SecurityManager& manager_;
};

}  // namespace talmor
