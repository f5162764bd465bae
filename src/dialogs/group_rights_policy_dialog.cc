#include "dialogs/group_rights_policy_dialog.h"

#include "dialogs/membership_dialog.h"
#include "manager/security_manager.h"
#include "resources/resource_ids.h"
#include "ui/data_exchange.h"

namespace talmor {
namespace ids = group_rights_policy_ids;

namespace {
constexpr int kRightNameBufferSize = 120;
}  // namespace

GroupRightsPolicyDialog::GroupRightsPolicyDialog(SecurityManager& manager, Window* owner)
    : Dialog(kIddGroupRightsPolicy, owner), manager_(manager) {}

bool GroupRightsPolicyDialog::OnInitDialog() {
  Dialog::OnInitDialog();
  right_combo_.ResetContent();
  char name[kRightNameBufferSize];
  for (int right = 0; right < SecurityDatabase::kRightCount; ++right) {
    if (manager_.GetRightName(static_cast<std::uint32_t>(right), name, sizeof name) != 0) {
      right_combo_.AddString(name);
    }
  }
  right_combo_.SetCurSel(0);
  RefreshGrantList();
  return true;
}

void GroupRightsPolicyDialog::DoDataExchange(DataExchange& dx) {
  dx.Control(ids::kGrantList, grant_list_);
  dx.Control(ids::kRight, right_combo_);
}

bool GroupRightsPolicyDialog::OnCommand(int id, Notify code) {
  if (id == ids::kRight && code == Notify::kSelChange) {
    RefreshGrantList();
    return true;
  }
  if (id == ids::kAssign && code == Notify::kClicked) {
    OnAssign();
    return true;
  }
  return Dialog::OnCommand(id, code);
}

void GroupRightsPolicyDialog::RefreshGrantList() {
  grant_list_.ResetContent();
  RightRecord right;
  if (!manager_.FindRight(right_combo_.GetCurSel(), &right)) return;
  std::string group;
  for (int i = 0; right.GetMemberAt(i, &group); ++i) grant_list_.AddString(group);
}

void GroupRightsPolicyDialog::OnAssign() {
  MembershipDialog membership(this);
  UpdateData(true);
  int number = right_combo_.GetCurSel();
  RightRecord right;
  if (!manager_.FindRight(number, &right)) return;
  std::string right_name = right_combo_.GetText(number);
  membership.heading_ = "Right : " + right_name;
  membership.caption_ = "Group Right Assignment";
  membership.context_name_ = right_name;

  GroupRecord group;
  for (int i = 0; manager_.GetGroupAt(i, &group); ++i) {
    membership.candidates_.Add(group.GroupName());
  }
  std::string granted;
  for (int i = 0; right.GetMemberAt(i, &granted); ++i) membership.members_.Add(granted);

  if (membership.DoModal() != kIdOk) return;
  right.ClearMembers();
  // Duplicates and names beyond the list's capacity are refused here, silently.
  for (size_t i = 0; i < membership.members_.Count(); ++i) {
    right.AddMember(membership.members_.At(i));
  }
  manager_.EditRight(number, right);
  RefreshGrantList();
}

}  // namespace talmor
