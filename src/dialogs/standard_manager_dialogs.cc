#include "dialogs/standard_manager_dialogs.h"

#include "dialogs/account_policy_dialog.h"
#include "dialogs/group_properties_dialog.h"
#include "dialogs/group_rights_policy_dialog.h"
#include "dialogs/logon_dialog.h"
#include "dialogs/user_properties_dialog.h"
#include "resources/resource_ids.h"

namespace talmor {

bool StandardManagerDialogs::RunLogon(SecurityManager& manager, Window* owner) {
  LogonDialog dialog(manager, owner);
  dialog.LoadRememberedName();
  return dialog.DoModal() == kIdOk;
}

bool StandardManagerDialogs::RunUserProperties(SecurityManager& manager, Window* owner,
                                               UserRecord& user) {
  UserPropertiesDialog dialog(manager, owner);
  dialog.SetUser(user);
  return dialog.DoModal() == kIdOk;
}

bool StandardManagerDialogs::RunGroupProperties(SecurityManager& manager, Window* owner,
                                                GroupRecord& group) {
  GroupPropertiesDialog dialog(manager, owner);
  dialog.SetGroup(group);
  return dialog.DoModal() == kIdOk;
}

bool StandardManagerDialogs::RunGroupRightsPolicy(SecurityManager& manager, Window* owner) {
  GroupRightsPolicyDialog dialog(manager, owner);
  return dialog.DoModal() == kIdOk;
}

bool StandardManagerDialogs::RunAccountPolicy(SecurityManager&, Window* owner,
                                              AccountPolicyValues& values) {
  AccountPolicyDialog dialog(owner);
  dialog.values_ = values;
  if (dialog.DoModal() != kIdOk) return false;
  values = dialog.values_;
  return true;
}

}  // namespace talmor
