#pragma once

#include <cstdint>

#include "ui/dialog.h"

namespace talmor {

// Edits the seven audit options (template 131). The caller sets the members before showing it
// and reads them after OK; they are exchanged and validated in the order listed.
class AuditPolicyDialog : public Dialog {
 public:
  explicit AuditPolicyDialog(Window* owner);

  int enable_ = 0;                 // 1002 "Enable audit trails"
  int logon_ = 0;                  // 1003
  int object_ = 0;                 // 1005
  int other_ = 0;                  // 1006
  int policy_ = 0;                 // 1004
  std::int32_t max_entries_ = 0;   // 1001, 10 to 30000 on OK
  int overwrite_ = 0;              // 1007

 protected:
  // The four event boxes are enabled only while auditing is on.
  bool OnInitDialog() override;
  void DoDataExchange(DataExchange& dx) override;
  // A click on 1002 reads every control back (validating, as OK does) and then enables or
  // disables the event boxes by 1002's new state, also when a later value failed.
  bool OnCommand(int id, Notify code) override;

 private:
  void EnableEventBoxes(bool enable);
};

}  // namespace talmor
