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

// Audit policy template: check boxes and a ranged integer; clicking "enable" re-reads the
// controls and enables the event boxes.
class LimitsDialog : public Dialog {
 public:
  explicit LimitsDialog(Window* owner = nullptr) : Dialog(kIddAuditPolicy, owner) {}
  bool enable_ = false;
  int logon_ = 0;
  int max_ = 0;
  int failures_seen_focus_ = 0;

 protected:
  bool OnInitDialog() override {
    Dialog::OnInitDialog();
    UpdateEventBoxes();
    return true;
  }
  void DoDataExchange(DataExchange& dx) override {
    dx.Check(audit_policy_ids::kEnable, enable_);
    dx.Check(audit_policy_ids::kLogon, logon_);
    dx.Int(audit_policy_ids::kMaxEntries, max_);
    dx.Range(audit_policy_ids::kMaxEntries, max_, 10, 30000);
  }
  bool OnCommand(int id, Notify code) override {
    if (id == audit_policy_ids::kEnable && code == Notify::kClicked) {
      UpdateData(true);
      UpdateEventBoxes();
      return true;
    }
    return Dialog::OnCommand(id, code);
  }

 private:
  void UpdateEventBoxes() { Item(audit_policy_ids::kLogon)->EnableWindow(enable_); }
};

// Membership template: two extended-selection sorted lists moving names between them.
class ChooserDialog : public Dialog {
 public:
  explicit ChooserDialog(Window* owner = nullptr) : Dialog(kIddMembership, owner) {}
  std::vector<std::string> members_;
  std::vector<std::string> others_;
  std::string heading_ = "Group : ";

 protected:
  bool OnInitDialog() override {
    Dialog::OnInitDialog();
    SetWindowText("Group Membership");
    Fill();
    return true;
  }
  void DoDataExchange(DataExchange& dx) override {
    dx.Text(membership_ids::kHeading, heading_);
    dx.Control(membership_ids::kMembers, members_list_);
    dx.Control(membership_ids::kNonMembers, others_list_);
  }
  bool OnCommand(int id, Notify code) override {
    if (code == Notify::kSelChange || code == Notify::kSetFocus) {
      if (code == Notify::kSetFocus && id == membership_ids::kMembers)
        others_list_.SetSel(-1, false);
      if (code == Notify::kSetFocus && id == membership_ids::kNonMembers)
        members_list_.SetSel(-1, false);
      UpdateButtons();
      return true;
    }
    if (code == Notify::kClicked && id == membership_ids::kAdd) {
      Move(others_list_, others_, members_);
      return true;
    }
    if (code == Notify::kClicked && id == membership_ids::kRemove) {
      for (int index : members_list_.GetSelItems()) {
        if (members_list_.GetText(index) == "Administrator") {
          MessageBox("The Administrator account must be a member of the Administrators group.",
                     "Quorvane Security Manager", kMbOk | kMbIconStop);
        }
      }
      Move(members_list_, members_, others_);
      return true;
    }
    return Dialog::OnCommand(id, code);
  }

 private:
  void Move(ListBox& from_list, std::vector<std::string>& from, std::vector<std::string>& to) {
    for (int index : from_list.GetSelItems()) {
      std::string text = from_list.GetText(index);
      if (text == "Administrator") continue;
      std::erase(from, text);
      to.push_back(text);
    }
    Fill();
  }
  void Fill() {
    members_list_.ResetContent();
    for (size_t i = 0; i < members_.size(); ++i) {
      int index = members_list_.AddString(members_[i]);
      members_list_.SetItemData(index, static_cast<intptr_t>(i + 100));
    }
    others_list_.ResetContent();
    for (const std::string& name : others_) others_list_.AddString(name);
    UpdateButtons();
  }
  void UpdateButtons() {
    Item(membership_ids::kAdd)->EnableWindow(others_list_.GetSelCount() > 0);
    Item(membership_ids::kRemove)->EnableWindow(members_list_.GetSelCount() > 0);
  }

 public:
  ListBox members_list_;
  ListBox others_list_;
};

// Group properties template: "Assign.." opens a nested ChooserDialog.
class GroupDialog : public Dialog {
 public:
  explicit GroupDialog(Window* owner = nullptr) : Dialog(kIddGroupProperties, owner) {}
  std::string name_;
  std::vector<std::string> members_;
  std::vector<std::string> users_;
  int nested_result_ = 0;

 protected:
  bool OnInitDialog() override {
    Dialog::OnInitDialog();
    Refresh();
    return true;
  }
  void DoDataExchange(DataExchange& dx) override {
    dx.Text(group_properties_ids::kName, name_);
    dx.MaxChars(group_properties_ids::kName, 20);
  }
  bool OnCommand(int id, Notify code) override {
    if (id == group_properties_ids::kAssign && code == Notify::kClicked) {
      UpdateData(true);
      ChooserDialog chooser(this);
      chooser.heading_ = "Group : " + name_;
      chooser.members_ = members_;
      for (const std::string& u : users_) {
        if (std::find(members_.begin(), members_.end(), u) == members_.end()) {
          chooser.others_.push_back(u);
        }
      }
      nested_result_ = chooser.DoModal();
      if (nested_result_ == kIdOk) {
        members_ = chooser.members_;
        Refresh();
      }
      return true;
    }
    return Dialog::OnCommand(id, code);
  }

 private:
  void Refresh() {
    Control* list = Item(group_properties_ids::kMembers);
    list->ResetContent();
    for (const std::string& m : members_) list->AddString(m);
  }
};

// Account policy template: a radio group that enables an edit.
class RadioDialog : public Dialog {
 public:
  RadioDialog() : Dialog(kIddAccountPolicy) {}
  int choice_ = 0;
  int min_ = 6;

 protected:
  bool OnInitDialog() override {
    Dialog::OnInitDialog();
    Item(account_policy_ids::kMinChars)->EnableWindow(choice_ == 1);
    return true;
  }
  void DoDataExchange(DataExchange& dx) override {
    dx.Radio(account_policy_ids::kPermitBlank, choice_);
    dx.Int(account_policy_ids::kMinChars, min_);
    dx.Range(account_policy_ids::kMinChars, min_, 1, 14);
  }
  bool OnCommand(int id, Notify code) override {
    if (code == Notify::kClicked &&
        (id == account_policy_ids::kPermitBlank || id == account_policy_ids::kAtLeast)) {
      Item(account_policy_ids::kMinChars)->EnableWindow(id == account_policy_ids::kAtLeast);
      return true;
    }
    return Dialog::OnCommand(id, code);
  }
};

}  // namespace talmor::testing
