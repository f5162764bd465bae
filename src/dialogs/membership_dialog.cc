#include "dialogs/membership_dialog.h"

#include <algorithm>

#include "manager/branding.h"
#include "manager/security_manager.h"
#include "platform/names.h"
#include "resources/resource_ids.h"
#include "ui/data_exchange.h"

namespace talmor {
namespace ids = membership_ids;

namespace {

constexpr const char* kAccountMustStay =
    "The Administrator account must be a member of the Administrators group.";
constexpr const char* kGroupMustStay =
    "Unable to remove access privilege from Administrators group.\nThis group must have full "
    "access rights.";

}  // namespace

MembershipDialog::MembershipDialog(Window* owner) : Dialog(kIddMembership, owner) {}

bool MembershipDialog::OnInitDialog() {
  Dialog::OnInitDialog();
  if (!caption_.empty()) SetWindowText(caption_);
  FillLists();
  UpdateButtons();
  return true;
}

void MembershipDialog::DoDataExchange(DataExchange& dx) {
  dx.Text(ids::kHeading, heading_);
  dx.Control(ids::kMembers, members_list_);
  dx.Control(ids::kNonMembers, non_members_list_);
}

bool MembershipDialog::OnCommand(int id, Notify code) {
  if (id == ids::kMembers || id == ids::kNonMembers) {
    if (code == Notify::kSetFocus) {
      // The list taking the focus is the one the next button acts on: the other lets go.
      (id == ids::kMembers ? non_members_list_ : members_list_).SetSel(-1, false);
      UpdateButtons();
      return true;
    }
    if (code == Notify::kSelChange) {
      UpdateButtons();
      return true;
    }
    return false;
  }
  if (code == Notify::kClicked && id == ids::kAdd) {
    OnAdd();
    return true;
  }
  if (code == Notify::kClicked && id == ids::kRemove) {
    OnRemove();
    return true;
  }
  return Dialog::OnCommand(id, code);
}

void MembershipDialog::FillLists() {
  members_list_.ResetContent();
  for (size_t i = 0; i < members_.Count(); ++i) members_list_.AddString(members_.At(i));
  non_members_list_.ResetContent();
  for (size_t i = 0; i < candidates_.Count(); ++i) {
    const std::string& name = candidates_.At(i);
    if (!members_.Contains(name)) non_members_list_.AddString(name);
  }
}

void MembershipDialog::UpdateButtons() {
  if (Control* add = Item(ids::kAdd)) add->EnableWindow(non_members_list_.GetSelCount() > 0);
  if (Control* remove = Item(ids::kRemove)) remove->EnableWindow(members_list_.GetSelCount() > 0);
}

void MembershipDialog::SelectTexts(ListBox& list, const std::vector<std::string>& texts) {
  for (int i = 0; i < list.GetCount(); ++i) {
    if (std::find(texts.begin(), texts.end(), list.GetText(i)) != texts.end()) list.SetSel(i);
  }
}

void MembershipDialog::OnAdd() {
  std::vector<int> selected = non_members_list_.GetSelItems();
  if (selected.empty()) return;
  std::vector<std::string> added;
  for (int index : selected) {
    std::string text = non_members_list_.GetText(index);
    if (text.empty()) continue;
    members_.Add(text);  // refused silently once the list is full
    added.push_back(std::move(text));
  }
  FillLists();
  SelectTexts(members_list_, added);
  UpdateButtons();
}

void MembershipDialog::OnRemove() {
  std::vector<int> selected = members_list_.GetSelItems();
  if (selected.empty()) return;
  // The texts first: the message boxes below must not see the list change under them.
  std::vector<std::string> texts;
  for (int index : selected) texts.push_back(members_list_.GetText(index));

  std::vector<std::string> removed;
  for (const std::string& text : texts) {
    if (EqualIgnoringCase(context_name_, kBuiltInGroupName) &&
        EqualIgnoringCase(text, kBuiltInUserName)) {
      MessageBox(kAccountMustStay, SecurityManagerCaption(), kMbOk | kMbIconStop);
    } else if (EqualIgnoringCase(text, kBuiltInGroupName)) {
      MessageBox(kGroupMustStay, SecurityManagerCaption(), kMbOk | kMbIconStop);
    } else {
      members_.Remove(text);
      removed.push_back(text);
    }
  }
  FillLists();
  SelectTexts(non_members_list_, removed);
  UpdateButtons();
}

}  // namespace talmor
