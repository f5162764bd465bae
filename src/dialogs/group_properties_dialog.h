#pragma once

#include <string>
#include <string_view>

#include "database/security_records.h"
#include "ui/control.h"
#include "ui/dialog.h"

namespace talmor {

class SecurityManager;

// Shows and edits one group (template 133): name, description, members (chosen through the
// MembershipDialog behind "Assign..") and, for an existing group, the rights it holds. The
// caller hands it the record with SetGroup; on OK the record holds the entries and the chosen
// members. The database is never changed here.
class GroupPropertiesDialog : public Dialog {
 public:
  GroupPropertiesDialog(SecurityManager& manager, Window* owner);

  // Takes the record's name and description into the members and remembers the name as the
  // stored name. `group` must outlive the dialog; "Assign.." changes its members directly.
  void SetGroup(GroupRecord& group);

  std::string group_name_;   // at most 20 characters
  std::string description_;  // at most 120 characters
  ListBox members_list_;
  ListBox rights_list_;

 protected:
  bool OnInitDialog() override;
  void DoDataExchange(DataExchange& dx) override;
  bool OnCommand(int id, Notify code) override;
  // A name is required and must not be taken by another user or group.
  void OnOK() override;

 private:
  // The members list from the record and, for an existing group, the rights list.
  void RefreshLists();
  void OnAssign();
  void ShowError(std::string_view message);

  SecurityManager& manager_;
  GroupRecord* group_ = nullptr;
  GroupRecord empty_group_;  // stands in until SetGroup
  std::string stored_name_;
};

}  // namespace talmor
