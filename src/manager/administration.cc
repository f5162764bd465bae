// The administration operations behind the host's menu entries: policies, enumeration, and new,
// edit, copy and delete of users and groups.
#include <string>

#include "manager/branding.h"
#include "manager/rights_catalogue.h"
#include "manager/security_manager.h"
#include "platform/names.h"
#include "resources/resource_ids.h"
#include "ui/message_box.h"

namespace talmor {

int SecurityManager::AdminAccountPolicy(Window* owner) {
  const Operation operation(*this);
  if (!Enquire(owner, kAdministerRight, true)) return 0;
  AccountPolicyValues values = *this;
  if (!dialogs_->RunAccountPolicy(*this, owner, values)) return 0;
  static_cast<AccountPolicyValues&>(*this) = values;
  RecordAuditEvent(3, "Accounts policy modified.");
  return 1;
}

int SecurityManager::AdminRightsPolicy(Window* owner) {
  const Operation operation(*this);
  if (!Enquire(owner, kAdministerRight, true)) return 0;
  if (!dialogs_->RunGroupRightsPolicy(*this, owner)) return 0;
  RecordAuditEvent(3, "Group Rights policy modified.");
  return 1;
}

int SecurityManager::AdminAuditPolicy(Window* owner) {
  const Operation operation(*this);
  if (!Enquire(owner, kAdministerRight, true)) return 0;
  AuditPolicyValues values = *this;
  if (!audit_dialogs_->RunAuditPolicy(*this, owner, values)) return 0;
  static_cast<AuditPolicyValues&>(*this) = values;
  // Recorded under the new options: switching policy auditing off is itself not recorded.
  RecordAuditEvent(3, "Audit policy modified.");
  return 1;
}

int SecurityManager::AdminLogView(Window* owner) {
  const Operation operation(*this);
  if (!Enquire(owner, kAdministerRight, true)) return 0;
  audit_dialogs_->RunAuditLogViewer(*this, owner);
  return 1;
}

int SecurityManager::GetUserStrings(int index, std::string& user_name, std::string& full_name,
                                    std::string& description) {
  if (index == 0) CatchUp();
  user_name.clear();
  full_name.clear();
  description.clear();
  const UserRecord* user = UserAt(index);
  if (user == nullptr) return 0;
  user->GetStrings(&user_name, &full_name, &description, nullptr);
  return 1;
}

int SecurityManager::GetGroupStrings(int index, std::string& group_name,
                                     std::string& description) {
  if (index == 0) CatchUp();
  group_name.clear();
  description.clear();
  const GroupRecord* group = GroupAt(index);
  if (group == nullptr) return 0;
  group->GetNameDesc(&group_name, &description);
  return 1;
}

int SecurityManager::AdminEditUser(Window* owner, std::optional<std::string_view> name) {
  const Operation operation(*this);
  if (!name) {
    if (!Enquire(owner, kAdministerRight, true)) return 0;
    UserRecord user;
    if (!dialogs_->RunUserProperties(*this, owner, user)) return 0;
    AddUser(user);
    return 1;
  }
  // Users may edit their own account without the right; the slot is not consulted here.
  if (!EqualIgnoringCase(*name, current_user_) && !Enquire(owner, kAdministerRight, true)) {
    return 0;
  }
  UserRecord user;
  if (!FindUser(*name, &user)) return 0;
  if (!dialogs_->RunUserProperties(*this, owner, user)) return 0;
  EditUser(*name, user);
  return 1;
}

int SecurityManager::AdminEditGroup(Window* owner, std::optional<std::string_view> name) {
  const Operation operation(*this);
  if (!Enquire(owner, kAdministerRight, true)) return 0;
  GroupRecord group;
  if (!name) {
    if (!dialogs_->RunGroupProperties(*this, owner, group)) return 0;
    AddGroup(group);
    return 1;
  }
  if (!FindGroup(*name, &group)) return 0;
  if (!dialogs_->RunGroupProperties(*this, owner, group)) return 0;
  EditGroup(*name, group);
  return 1;
}

int SecurityManager::AdminCopyUser(Window* owner, std::optional<std::string_view> name) {
  const Operation operation(*this);
  if (!name) return 0;
  if (!Enquire(owner, kAdministerRight, true)) return 0;
  UserRecord source;
  if (!FindUser(*name, &source)) return 0;
  UserRecord copy = source;
  copy.SetStrings("", "", std::nullopt, "");
  if (!dialogs_->RunUserProperties(*this, owner, copy)) return 0;
  AddUser(copy);
  CopyUserMemberships(copy.UserName(), source.UserName());
  return 1;
}

int SecurityManager::AdminCopyGroup(Window* owner, std::optional<std::string_view> name) {
  const Operation operation(*this);
  if (!name) return 0;
  if (!Enquire(owner, kAdministerRight, true)) return 0;
  GroupRecord source;
  if (!FindGroup(*name, &source)) return 0;
  GroupRecord copy = source;
  copy.SetNameDesc("", std::nullopt);
  if (!dialogs_->RunGroupProperties(*this, owner, copy)) return 0;
  AddGroup(copy);
  CopyGroupRights(copy.GroupName(), source.GroupName());
  return 1;
}

int SecurityManager::AdminDeleteUser(Window* owner, std::optional<std::string_view> name) {
  const Operation operation(*this);
  if (!name) return 0;
  if (!Enquire(owner, kAdministerRight, true)) return 0;
  if (EqualIgnoringCase(*name, kBuiltInUserName)) {
    MessageBox(owner, "The Administrator account cannot be deleted.", SecurityManagerCaption(),
               kMbIconStop | kMbOk);
    return 0;
  }
  const std::string question = "Delete User : " + std::string(*name);
  if (MessageBox(owner, question, "Confirm User Delete", kMbIconExclamation | kMbOkCancel) !=
      kIdOk) {
    return 0;
  }
  return DeleteUser(*name) ? 1 : 0;
}

int SecurityManager::AdminDeleteGroup(Window* owner, std::optional<std::string_view> name) {
  const Operation operation(*this);
  if (!name) return 0;
  if (!Enquire(owner, kAdministerRight, true)) return 0;
  if (EqualIgnoringCase(*name, kBuiltInGroupName)) {
    MessageBox(owner, "The Administrators group cannot be deleted.", SecurityManagerCaption(),
               kMbIconStop | kMbOk);
    return 0;
  }
  const std::string question = "Delete Group : " + std::string(*name);
  if (MessageBox(owner, question, "Confirm Group Delete", kMbIconExclamation | kMbOkCancel) !=
      kIdOk) {
    return 0;
  }
  return DeleteGroup(*name) ? 1 : 0;
}

}  // namespace talmor
