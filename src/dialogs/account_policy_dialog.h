#pragma once

#include "storage/security_options.h"
#include "ui/dialog.h"

namespace talmor {

// Edits the password policy, the security switch and the individual-settings option (template
// 135, or 140 in the alternative branding, decided at construction). The caller sets values_
// before showing it and reads it after OK: PasswordMinChars (1 to 14 on OK), SecurityDisable
// (check box 1003), IndividualINI (check box 1004), BlankPasswordOK (radio buttons 1010, 1011).
class AccountPolicyDialog : public Dialog {
 public:
  explicit AccountPolicyDialog(Window* owner);

  AccountPolicyValues values_;

 protected:
  // Checks the radio button that matches BlankPasswordOK; the minimum box is enabled only
  // with "At Least".
  bool OnInitDialog() override;
  void DoDataExchange(DataExchange& dx) override;
  bool OnCommand(int id, Notify code) override;
  // Takes the radio buttons, then the minimum (1 to 14, checked also while its box is disabled)
  // and the check boxes.
  void OnOK() override;
};

}  // namespace talmor
