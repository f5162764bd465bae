#pragma once

#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "ui/data_exchange.h"
#include "ui/dialog.h"

// Small dialogs on the library's templates, written the way the system's dialogs are.
namespace talmor::testing {

// Log-on template: two limited edits.
class NameDialog : public Dialog {
 public:
  explicit NameDialog(Window* owner = nullptr) : Dialog(kIddLogon, owner) {}
  std::string name_;
  std::string password_;

 protected:
  void DoDataExchange(DataExchange& dx) override {
    dx.Text(logon_ids::kUserName, name_);
    dx.MaxChars(logon_ids::kUserName, 16);
    dx.Text(logon_ids::kPassword, password_);
    dx.MaxChars(logon_ids::kPassword, 14);
  }
};

// Membership template: two extended-selection sorted lists; Add moves the selected others to
// the members, and each member carries its position in `members_` + 100 as item data. A list
// taking the focus clears the other's selection; Add and Remove are enabled by a selection.
class ChooserDialog : public Dialog {
 public:
  ChooserDialog() : Dialog(kIddMembership) {}
  std::vector<std::string> members_;
  std::vector<std::string> others_;
  ListBox members_list_;
  ListBox others_list_;

 protected:
  bool OnInitDialog() override {
    Dialog::OnInitDialog();
    SetWindowText("Group Membership");
    Fill();
    return true;
  }
  void DoDataExchange(DataExchange& dx) override {
    dx.Control(membership_ids::kMembers, members_list_);
    dx.Control(membership_ids::kNonMembers, others_list_);
  }
  bool OnCommand(int id, Notify code) override {
    if (code == Notify::kSetFocus && id == membership_ids::kMembers) others_list_.SetSel(-1, false);
    if (code == Notify::kSetFocus && id == membership_ids::kNonMembers)
      members_list_.SetSel(-1, false);
    if (code == Notify::kClicked && id == membership_ids::kAdd) {
      for (int index : others_list_.GetSelItems()) {
        std::string text = others_list_.GetText(index);
        std::erase(others_, text);
        members_.push_back(text);
      }
      Fill();
    }
    Item(membership_ids::kAdd)->EnableWindow(others_list_.GetSelCount() > 0);
    Item(membership_ids::kRemove)->EnableWindow(members_list_.GetSelCount() > 0);
    return Dialog::OnCommand(id, code);
  }

 private:
  void Fill() {
    members_list_.ResetContent();
    for (size_t i = 0; i < members_.size(); ++i)
      members_list_.SetItemData(members_list_.AddString(members_[i]),
                                static_cast<intptr_t>(i + 100));
    others_list_.ResetContent();
    for (const std::string& name : others_) others_list_.AddString(name);
    Item(membership_ids::kAdd)->EnableWindow(false);
    Item(membership_ids::kRemove)->EnableWindow(false);
  }
};

}  // namespace talmor::testing
