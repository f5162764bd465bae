#include "manager/standard_audit_dialogs.h"

#include "audit/audit_log_viewer.h"
#include "audit/audit_policy_dialog.h"
#include "resources/resource_ids.h"

namespace talmor {

bool StandardAuditDialogs::RunAuditPolicy(SecurityManager&, Window* owner,
                                          AuditPolicyValues& values) {
  AuditPolicyDialog dialog(owner);
  dialog.enable_ = values.AuditEnable;
  dialog.logon_ = values.AuditLogon;
  dialog.policy_ = values.AuditPolicy;
  dialog.object_ = values.AuditObject;
  dialog.other_ = values.AuditOther;
  dialog.max_entries_ = values.AuditMaxEvents;
  dialog.overwrite_ = values.AuditOverwrite;
  if (dialog.DoModal() != kIdOk) return false;
  values.AuditEnable = dialog.enable_;
  values.AuditLogon = dialog.logon_;
  values.AuditPolicy = dialog.policy_;
  values.AuditObject = dialog.object_;
  values.AuditOther = dialog.other_;
  values.AuditMaxEvents = dialog.max_entries_;
  values.AuditOverwrite = dialog.overwrite_;
  return true;
}

void StandardAuditDialogs::RunAuditLogViewer(SecurityManager&, Window* owner) {
  AuditLogViewer viewer(owner);
  viewer.DoModal();
}

}  // namespace talmor
