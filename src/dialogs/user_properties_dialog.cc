#include "dialogs/user_properties_dialog.h"

#include <cstdio>

#include "manager/branding.h"
#include "manager/rights_catalogue.h"
#include "manager/security_manager.h"
#include "platform/names.h"
#include "resources/resource_ids.h"
#include "ui/data_exchange.h"

namespace talmor {
namespace ids = user_properties_ids;

namespace {

constexpr int kRightNameBufferSize = 120;

constexpr const char* kNameMissing = "You must type a valid Username for the user.";
constexpr const char* kNameInvalid = "You specified a Username that contains invalid characters.";
constexpr const char* kNameInUse =
    "You specified a Username which is already in use by another user or group.\nChoose a "
    "Username which in not already in use by another user or group.";
constexpr const char* kPasswordTooShortFormat =
    "The password must be at least %d characters in length.";
constexpr const char* kPasswordNotConfirmed =
    "The new password was not correctly confirmed.\nBe sure that the confirmation password "
    "exactly matches the new password.";
constexpr const char* kNotUnlocked = "The account could not be unlocked. Try again later.";

}  // namespace

bool IsUserNameByte(unsigned char byte) {
  if (byte >= 'A' && byte <= 'Z') return true;
  if (byte >= 'a' && byte <= 'z') return true;
  if (byte >= '0' && byte <= '9') return true;
  switch (byte) {
    case ' ':
    case '_':
    case '-':
    case '&':
    case '!':
    case '$':
    case '%':
    case '^':
    case '(':
    case ')':
    case '@':
    case '#':
    case '~':
    case 0x9C:
      return true;
    default:
      return false;
  }
}

bool IsValidUserName(std::string_view name) {
  for (char c : name) {
    if (!IsUserNameByte(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

UserPropertiesDialog::UserPropertiesDialog(SecurityManager& manager, Window* owner)
    : Dialog(kIddUserProperties, owner), manager_(manager) {}

void UserPropertiesDialog::SetUser(UserRecord& user) {
  user_ = &user;
  user.GetStrings(&user_name_, &full_name_, &description_, &password_);
  confirm_password_ = password_;
  cannot_change_password_ = user.GetCannotChangePassword() ? 1 : 0;
  account_disabled_ = user.GetAccountDisabled() ? 1 : 0;
  stored_name_ = user_name_;
}

bool UserPropertiesDialog::OnInitDialog() {
  Dialog::OnInitDialog();

  auto disable = [this](std::initializer_list<int> controls) {
    for (int id : controls) {
      if (Control* c = Item(id)) c->EnableWindow(false);
    }
  };
  const std::initializer_list<int> account_fields = {ids::kUserName, ids::kFullName,
                                                     ids::kDescription, ids::kCannotChangePassword,
                                                     ids::kAccountDisabled};

  // Without right 0 a user may change only his own password, and only when he is allowed to.
  if (manager_.HasRight(kAdministerRight) == 0) {
    disable(account_fields);
    if (user_ != nullptr && user_->GetCannotChangePassword()) {
      disable({ids::kPassword, ids::kConfirmPassword});
    }
  }
  // The built-in account keeps its name, texts and flags; its password can change.
  if (EqualIgnoringCase(user_name_, kBuiltInUserName)) disable(account_fields);
  // Unlock is shown only where accounts can lock, so that the dialog is as it always was
  // without lockout.
  if (ReadProtectionSettings().lockout_threshold == 0) {
    if (Control* unlock = Item(ids::kUnlock)) unlock->ShowWindow(false);
  }
  if (stored_name_.empty() || manager_.HasRight(kAdministerRight) == 0 ||
      !manager_.protection().IsLocked(stored_name_)) {
    disable({ids::kUnlock});
  }

  if (stored_name_.empty()) {
    disable({ids::kRightsLabel, ids::kRights});
    return true;
  }

  char name[kRightNameBufferSize];
  for (int right = 0; right < SecurityDatabase::kRightCount; ++right) {
    RightRecord record;
    if (!manager_.FindRight(right, &record)) continue;
    std::string group_name;
    for (int i = 0; record.GetMemberAt(i, &group_name); ++i) {
      GroupRecord group;
      if (!manager_.FindGroup(group_name, &group) || !group.IsMember(stored_name_)) continue;
      if (manager_.GetRightName(static_cast<std::uint32_t>(right), name, sizeof name) != 0) {
        rights_list_.AddString(name);
      }
    }
  }
  return true;
}

void UserPropertiesDialog::DoDataExchange(DataExchange& dx) {
  dx.Text(ids::kPassword, password_);
  dx.MaxChars(ids::kPassword, 14);
  dx.Text(ids::kConfirmPassword, confirm_password_);
  dx.MaxChars(ids::kConfirmPassword, 14);
  dx.Text(ids::kUserName, user_name_);
  dx.MaxChars(ids::kUserName, 16);
  dx.Text(ids::kFullName, full_name_);
  dx.MaxChars(ids::kFullName, 40);
  dx.Text(ids::kDescription, description_);
  dx.MaxChars(ids::kDescription, 120);
  dx.Check(ids::kCannotChangePassword, cannot_change_password_);
  dx.Check(ids::kAccountDisabled, account_disabled_);
  dx.Control(ids::kRights, rights_list_);
}

bool UserPropertiesDialog::OnCommand(int id, Notify code) {
  if (id != ids::kUnlock || code != Notify::kClicked) return Dialog::OnCommand(id, code);
  if (manager_.HasRight(kAdministerRight) != 0 && manager_.protection().Unlock(stored_name_)) {
    if (Control* c = Item(ids::kUnlock)) c->EnableWindow(false);
  } else {
    ShowError(kNotUnlocked);
  }
  return true;
}

std::string PasswordRuleRefusal(const SecurityOptions& options, std::string_view password,
                                std::string_view confirmation) {
  if (options.BlankPasswordOK == 0 &&
      static_cast<long long>(password.size()) < options.PasswordMinChars) {
    char message[96];
    std::snprintf(message, sizeof message, kPasswordTooShortFormat,
                  static_cast<int>(options.PasswordMinChars));
    return message;
  }
  if (confirmation != password) return kPasswordNotConfirmed;
  return {};
}

void UserPropertiesDialog::ShowError(std::string_view message) {
  MessageBox(message, SecurityManagerCaption(), kMbOk | kMbIconStop);
}

void UserPropertiesDialog::OnOK() {
  UpdateData(true);

  if (user_name_.empty()) return ShowError(kNameMissing);
  if (!IsValidUserName(user_name_)) return ShowError(kNameInvalid);
  if (manager_.IsNameInUse(user_name_, stored_name_)) return ShowError(kNameInUse);
  // The minimum applies on every OK, so a stored password that has become too short must be
  // changed before anything else about the account can be saved.
  const std::string refusal = PasswordRuleRefusal(manager_, password_, confirm_password_);
  if (!refusal.empty()) return ShowError(refusal);

  if (user_ != nullptr) {
    user_->SetStrings(user_name_, full_name_, description_, password_);
    user_->SetCannotChangePassword(cannot_change_password_);
    user_->SetAccountDisabled(account_disabled_);
  }
  EndDialog(kIdOk);
}

}  // namespace talmor
