#include "dialogs/change_password_dialog.h"

#include "dialogs/user_properties_dialog.h"
#include "manager/branding.h"
#include "manager/security_manager.h"
#include "platform/file_exception.h"
#include "resources/resource_ids.h"
#include "ui/data_exchange.h"

namespace talmor {
namespace ids = change_password_ids;

ChangePasswordDialog::ChangePasswordDialog(SecurityManager& manager, Window* owner,
                                           std::string user_name)
    : Dialog(kIddChangePassword, owner), manager_(manager), user_name_(std::move(user_name)) {}

void ChangePasswordDialog::DoDataExchange(DataExchange& dx) {
  dx.Text(ids::kOldPassword, old_password_);
  dx.MaxChars(ids::kOldPassword, 14);
  dx.Text(ids::kNewPassword, new_password_);
  dx.MaxChars(ids::kNewPassword, 14);
  dx.Text(ids::kConfirmPassword, confirm_password_);
  dx.MaxChars(ids::kConfirmPassword, 14);
}

void ChangePasswordDialog::OnOK() {
  UpdateData(true);
  auto refuse = [this](const char* message) {
    MessageBox(message, SecurityManagerCaption(), kMbOk | kMbIconStop);
  };
  UserRecord user;
  if (!manager_.FindUser(user_name_, &user)) return EndDialog(kIdCancel);
  if (old_password_ != user.Password()) return refuse(kOldPasswordWrong);
  const std::string refusal = PasswordRuleRefusal(manager_, new_password_, confirm_password_);
  if (!refusal.empty()) return refuse(refusal.c_str());
  if (new_password_ == user.Password() ||
      manager_.protection().IsInHistory(user_name_, new_password_)) {
    return refuse(kPasswordReused);
  }

  UserRecord changed = user;
  changed.SetStrings(std::nullopt, std::nullopt, std::nullopt, new_password_);
  manager_.EditUser(user_name_, changed);
  try {
    manager_.Save();
  } catch (const FileException&) {
    manager_.EditUser(user_name_, user);
    refuse(kPasswordNotSaved);
    return EndDialog(kIdCancel);
  }
  if (manager_.LogInUser(user_name_, new_password_) == 0) return EndDialog(kIdCancel);
  manager_.RecordAuditEvent(1, "Password changed.");
  EndDialog(kIdOk);
}

bool ChangeExpiredPassword(SecurityManager& manager, Window* owner, std::string_view user_name) {
  UserRecord user;
  if (!manager.protection().password_expired() || !manager.FindUser(user_name, &user) ||
      user.GetCannotChangePassword()) {
    return false;
  }
  ChangePasswordDialog dialog(manager, owner, std::string(user.UserName()));
  return dialog.DoModal() == kIdOk;
}

}  // namespace talmor
