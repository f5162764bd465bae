#pragma once

#include <cstdint>

#include "ui/dialog.h"

namespace talmor {

// Edits the password policy, the security switch and the individual-settings option (template
// 135, or 140 in the alternative branding, decided at construction). The caller sets the four
// members before showing it and reads them after OK.
class AccountPolicyDialog : public Dialog {
 public:
  explicit AccountPolicyDialog(Window* owner);

  std::int32_t min_chars_ = 0;          // 1 to 14 on OK
  int disable_security_ = 0;            // check box 1003
  int individual_settings_ = 1;         // check box 1004
  std::int32_t blank_password_ok_ = 1;  // the radio buttons 1010 and 1011

 protected:
  // Checks the radio button that matches blank_password_ok_; the minimum box is enabled only
  // with "At Least".
  bool OnInitDialog() override;
  void DoDataExchange(DataExchange& dx) override;
  bool OnCommand(int id, Notify code) override;
  // Takes the radio buttons, then the minimum (1 to 14, checked also while its box is disabled)
  // and the check boxes.
  void OnOK() override;
};

}  // namespace talmor
