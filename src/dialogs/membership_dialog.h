#pragma once

#include <string>
#include <vector>

#include "database/member_list.h"
#include "ui/control.h"
#include "ui/dialog.h"

namespace talmor {

// The two-list chooser (template 138): "Members" on the left, the candidates that are not
// members on the right, and buttons that move the selected names across. Used for a group's users
// and for the groups granted a right. The caller sets the heading, caption and context name,
// fills members and candidates, shows it, and after OK reads members from the front.
//
// Removal keeps the built-in names where they belong: with the context "Administrators" the
// account "Administrator" stays a member, and the group "Administrators" is never removed. Each
// refused entry is told once; the other selected entries still move.
class MembershipDialog : public Dialog {
 public:
  explicit MembershipDialog(Window* owner);

  std::string heading_;       // shown above the lists
  std::string context_name_;  // the group or right being edited
  std::string caption_;       // replaces the window caption when not empty
  MemberList members_;
  MemberList candidates_;

 protected:
  bool OnInitDialog() override;
  void DoDataExchange(DataExchange& dx) override;
  bool OnCommand(int id, Notify code) override;

 private:
  // Both lists from members and candidates.
  void FillLists();
  // Add is enabled when a non-member is selected, Remove when a member is.
  void UpdateButtons();
  void OnAdd();
  void OnRemove();
  // Selects in `list` every entry whose text is exactly one of `texts`.
  static void SelectTexts(ListBox& list, const std::vector<std::string>& texts);

  ListBox members_list_;
  ListBox non_members_list_;
};

}  // namespace talmor
