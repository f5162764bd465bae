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
  dialog.min_chars_ = values.PasswordMinChars;
  dialog.disable_security_ = values.SecurityDisable;
  dialog.individual_settings_ = values.IndividualINI;
  dialog.blank_password_ok_ = values.BlankPasswordOK;
  if (dialog.DoModal() != kIdOk) return false;
  values.PasswordMinChars = dialog.min_chars_;
  values.SecurityDisable = dialog.disable_security_;
  values.IndividualINI = dialog.individual_settings_;
  values.BlankPasswordOK = dialog.blank_password_ok_;
  return true;
}

}  // namespace talmor
