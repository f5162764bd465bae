#pragma once

#include <string>
#include <string_view>

#include "ui/dialog.h"

namespace talmor {

class SecurityManager;

// Asks an account whose password has expired for its old password and a new one (template
// 141). OK checks them, stores the new password, saves the database at once, logs the account on
// with it and records "Password changed."; then the dialog ends with OK. A check that fails is
// shown and the dialog stays open; a save that fails is shown, the password stays as it was and
// the dialog ends with Cancel.
class ChangePasswordDialog : public Dialog {
 public:
  ChangePasswordDialog(SecurityManager& manager, Window* owner, std::string user_name);

  std::string old_password_;      // at most 14 characters
  std::string new_password_;      // at most 14 characters
  std::string confirm_password_;  // at most 14 characters

 protected:
  void DoDataExchange(DataExchange& dx) override;
  // The checks in order: the old password, the minimum length (unless blank passwords are
  // permitted), the confirmation, and that the new password is neither the current one nor one
  // of the remembered previous ones.
  void OnOK() override;

 private:
  SecurityManager& manager_;
  std::string user_name_;
};

// After LogInUser refused `user_name` because its password expired: runs the dialog (unless the
// account may not change its password). True when the password was changed and the account is
// logged on.
bool ChangeExpiredPassword(SecurityManager& manager, Window* owner, std::string_view user_name);

inline constexpr const char* kOldPasswordWrong = "The old password is not correct.";
inline constexpr const char* kPasswordReused =
    "The new password was used recently. Choose a password you have not used before.";
inline constexpr const char* kPasswordNotSaved =
    "The new password could not be saved. Try again later or ask your administrator.";

}  // namespace talmor
