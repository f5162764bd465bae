#pragma once

#include <string>
#include <string_view>

#include "database/security_records.h"
#include "storage/security_options.h"
#include "ui/control.h"
#include "ui/dialog.h"

namespace talmor {

class SecurityManager;

// What the account policy says against a new password and its confirmation: the message to
// show (too short, or not confirmed), or empty when both pass.
std::string PasswordRuleRefusal(const SecurityOptions& options, std::string_view password,
                                std::string_view confirmation);

// Shows and edits one user account (template 134). The caller hands it the record with SetUser
// before showing it; on OK the record holds the entries. The database is never changed here.
class UserPropertiesDialog : public Dialog {
 public:
  UserPropertiesDialog(SecurityManager& manager, Window* owner);

  // Takes the record's texts and flags into the members (the confirmation equal to the
  // password) and remembers its user name as the stored name. `user` must outlive the dialog.
  void SetUser(UserRecord& user);

  std::string password_;          // at most 14 characters
  std::string confirm_password_;  // at most 14 characters
  std::string user_name_;         // at most 16 characters
  std::string full_name_;         // at most 40 characters
  std::string description_;       // at most 120 characters
  int cannot_change_password_ = 0;
  int account_disabled_ = 0;
  ListBox rights_list_;

 protected:
  // Disables what the current user may not change (Unlock unless an administrator looks at a
  // locked account), then lists the rights an existing account holds through its groups (once
  // for each granting group).
  bool OnInitDialog() override;
  // Unlock: clears the account's lock at once (not at OK), recorded as "Account unlocked.".
  bool OnCommand(int id, Notify code) override;
  void DoDataExchange(DataExchange& dx) override;
  // The five checks in order; the first that fails is shown and the dialog stays open.
  void OnOK() override;

 private:
  void ShowError(std::string_view message);

  SecurityManager& manager_;
  UserRecord* user_ = nullptr;
  std::string stored_name_;
};

// Whether `byte` may appear in a user name: the ASCII letters and digits, the space, the marks
// _ - & ! $ % ^ ( ) @ # ~ and the byte 0x9C; no other byte, in particular none above 0x7F but
// 0x9C.
bool IsUserNameByte(unsigned char byte);
// Whether every byte of `name` may appear in a user name.
bool IsValidUserName(std::string_view name);

}  // namespace talmor
