#pragma once

#include "storage/security_options.h"
#include "ui/dialog.h"

namespace talmor {

// Edits the seven audit options (template 131). The caller sets values_ before showing it and
// reads it after OK. Exchanged and validated in this order: AuditEnable (1002), AuditLogon
// (1003), AuditObject (1005), AuditOther (1006), AuditPolicy (1004), AuditMaxEvents (1001, 10 to
// 30000 on OK), AuditOverwrite (1007).
class AuditPolicyDialog : public Dialog {
 public:
  explicit AuditPolicyDialog(Window* owner);

  AuditPolicyValues values_;

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
