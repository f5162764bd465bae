#include "dialogs/logon_dialog.h"

#include "dialogs/change_password_dialog.h"
#include "manager/branding.h"
#include "manager/host_status.h"
#include "manager/security_manager.h"
#include "platform/file_exception.h"
#include "platform/profile_file.h"
#include "resources/resource_ids.h"
#include "ui/data_exchange.h"

namespace talmor {
namespace {

constexpr const char* kProfileFile = "qvtalmor.ini";
constexpr const char* kLoginSection = "Login";
constexpr const char* kUserNameKey = "UserName";
constexpr size_t kProfileBufferSize = 80;

}  // namespace

const char* LogonFailureMessage() {
  return IsAlternativeBranding()
             ? "Sarvento could not log you on. Make sure your\nusername is correct, then type "
               "your password again.\nPasswords are case sensitive, so please make sure\nthat "
               "Caps Lock is not accidentally on."
             : "Quorvane could not log you on. Make sure your\nusername is correct, then type "
               "your password again.\nPasswords are case sensitive, so please make sure\nthat "
               "Caps Lock is not accidentally on.";
}

const char* LogonCaption() { return IsAlternativeBranding() ? "Sarvento Login" : "Quorvane Login"; }

LogonDialog::LogonDialog(SecurityManager& manager, Window* owner)
    : Dialog(IsAlternativeBranding() ? kIddLogonAlternative : kIddLogon, owner),
      manager_(manager) {}

void LogonDialog::LoadRememberedName() {
  user_name_ = GetProfileString(kProfileFile, kLoginSection, kUserNameKey, "", kProfileBufferSize);
}

bool LogonDialog::OnInitDialog() {
  Dialog::OnInitDialog();

  Rect window = GetWindowRect();
  Size screen = ScreenSize();
  int width = window.width();
  int height = window.height();
  int x = (screen.cx - width) / 2;
  int y = (screen.cy - height) / 3;
  MoveWindow(Rect{x, y, x + width, y + height});
  SetTopmost(true);

  if (!user_name_.empty()) {
    GotoControl(logon_ids::kPassword);
    return false;
  }
  return true;
}

void LogonDialog::DoDataExchange(DataExchange& dx) {
  dx.Text(logon_ids::kUserName, user_name_);
  dx.MaxChars(logon_ids::kUserName, 16);
  dx.Text(logon_ids::kPassword, password_);
  dx.MaxChars(logon_ids::kPassword, 14);
}

void LogonDialog::OnOK() {
  UpdateData(true);
  if (manager_.LogInUser(user_name_, password_) != 0 ||
      ChangeExpiredPassword(manager_, this, user_name_)) {
    // The remembered name is a convenience: a profile file that cannot be written does not undo
    // a log-on that has happened.
    try {
      WriteProfileString(kProfileFile, kLoginSection, kUserNameKey, user_name_);
    } catch (const FileException&) {
    }
    PublishUserName(user_name_);
    EndDialog(kIdOk);
    return;
  }
  const std::string& refusal = manager_.logon_refusal();
  MessageBox(refusal.empty() ? LogonFailureMessage() : refusal.c_str(), LogonCaption(),
             kMbOk | kMbIconStop);
}

}  // namespace talmor
