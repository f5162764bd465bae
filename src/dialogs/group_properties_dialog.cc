#include "dialogs/group_properties_dialog.h"

#include "dialogs/membership_dialog.h"
#include "manager/branding.h"
#include "manager/security_manager.h"
#include "platform/names.h"
#include "resources/resource_ids.h"
#include "ui/data_exchange.h"

namespace talmor {
namespace ids = group_properties_ids;

namespace {

constexpr int kRightNameBufferSize = 120;

constexpr const char* kNameMissing = "You must type a valid Group Name for the group.";
constexpr const char* kNameInUse =
    "You specified a Group Name which is already in use by another user or group.\nChoose a "
    "Group Name which in not already in use by another user or group.";

}  // namespace

GroupPropertiesDialog::GroupPropertiesDialog(SecurityManager& manager, Window* owner)
    : Dialog(kIddGroupProperties, owner), manager_(manager), group_(&empty_group_) {}

void GroupPropertiesDialog::SetGroup(GroupRecord& group) {
  group_ = &group;
  group.GetNameDesc(&group_name_, &description_);
  stored_name_ = group_name_;
}

bool GroupPropertiesDialog::OnInitDialog() {
  Dialog::OnInitDialog();
  RefreshLists();
  if (EqualIgnoringCase(group_name_, kBuiltInGroupName)) {
    Item(ids::kName)->EnableWindow(false);
    Item(ids::kDescription)->EnableWindow(false);
  }
  return true;
}

void GroupPropertiesDialog::DoDataExchange(DataExchange& dx) {
  dx.Text(ids::kName, group_name_);
  dx.MaxChars(ids::kName, 20);
  dx.Text(ids::kDescription, description_);
  dx.MaxChars(ids::kDescription, 120);
  dx.Control(ids::kMembers, members_list_);
  dx.Control(ids::kRights, rights_list_);
}

bool GroupPropertiesDialog::OnCommand(int id, Notify code) {
  if (id == ids::kAssign && code == Notify::kClicked) {
    OnAssign();
    return true;
  }
  return Dialog::OnCommand(id, code);
}

void GroupPropertiesDialog::RefreshLists() {
  members_list_.ResetContent();
  std::string member;
  for (int i = 0; group_->GetMemberAt(i, &member); ++i) members_list_.AddString(member);

  if (stored_name_.empty()) {
    Item(ids::kRightsLabel)->EnableWindow(false);
    Item(ids::kRights)->EnableWindow(false);
    return;
  }
  rights_list_.ResetContent();
  char name[kRightNameBufferSize];
  for (int right = 0; right < SecurityDatabase::kRightCount; ++right) {
    RightRecord record;
    if (!manager_.FindRight(right, &record) || !record.IsMember(stored_name_)) continue;
    if (manager_.GetRightName(static_cast<std::uint32_t>(right), name, sizeof name) != 0) {
      rights_list_.AddString(name);
    }
  }
}

void GroupPropertiesDialog::OnAssign() {
  MembershipDialog membership(this);
  UpdateData(true);
  membership.heading_ = "Group : " + group_name_;
  membership.caption_ = "Group Membership";
  membership.context_name_ = group_name_;

  UserRecord user;
  for (int i = 0; manager_.GetUserAt(i, &user); ++i) membership.candidates_.Add(user.UserName());
  std::string member;
  for (int i = 0; group_->GetMemberAt(i, &member); ++i) membership.members_.Add(member);

  if (membership.DoModal() != kIdOk) return;
  group_->ClearMembers();
  // Duplicates and names beyond the list's capacity are refused here, silently.
  for (size_t i = 0; i < membership.members_.Count(); ++i) {
    group_->AddMember(membership.members_.At(i));
  }
  RefreshLists();
}

void GroupPropertiesDialog::ShowError(std::string_view message) {
  MessageBox(message, SecurityManagerCaption(), kMbOk | kMbIconStop);
}

void GroupPropertiesDialog::OnOK() {
  UpdateData(true);
  if (group_name_.empty()) return ShowError(kNameMissing);
  if (manager_.IsNameInUse(group_name_, stored_name_)) return ShowError(kNameInUse);
  group_->SetNameDesc(group_name_, description_);
  EndDialog(kIdOk);
}

}  // namespace talmor
