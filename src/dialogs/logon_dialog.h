#pragma once

#include <string>

#include "ui/dialog.h"

namespace talmor {

class SecurityManager;

// Asks for a log-on name and password and checks them through the manager until a user is
// logged on or the operator gives up. Template 130, or 139 in the alternative branding (decided
// at construction).
class LogonDialog : public Dialog {
 public:
  LogonDialog(SecurityManager& manager, Window* owner);

  // Pre-fills the name with the one last logged on: "UserName" of [Login] in "qvtalmor.ini".
  void LoadRememberedName();

  std::string user_name_;  // at most 16 characters
  std::string password_;   // at most 14 characters

 protected:
  // Shows the members, centres the dialog horizontally and a third down the screen, keeps it on
  // top, and puts the focus on the password box when a name is already there.
  bool OnInitDialog() override;
  void DoDataExchange(DataExchange& dx) override;
  // LogInUser with the entries. Success remembers and publishes the name as typed and ends with
  // OK; failure says so and leaves the dialog open with the entries as they are.
  void OnOK() override;

 private:
  SecurityManager& manager_;
};

// The failure message and the dialog's caption in the current branding.
const char* LogonFailureMessage();
const char* LogonCaption();

}  // namespace talmor
