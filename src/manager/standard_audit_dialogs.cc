#include "manager/standard_audit_dialogs.h"

#include "audit/audit_log_viewer.h"
#include "audit/audit_policy_dialog.h"
#include "resources/resource_ids.h"

namespace talmor {

bool StandardAuditDialogs::RunAuditPolicy(SecurityManager&, Window* owner,
                                          AuditPolicyValues& values) {
  AuditPolicyDialog dialog(owner);
  dialog.values_ = values;
  if (dialog.DoModal() != kIdOk) return false;
  values = dialog.values_;
  return true;
}

void StandardAuditDialogs::RunAuditLogViewer(SecurityManager&, Window* owner) {
  AuditLogViewer viewer(owner);
  viewer.DoModal();
}

}  // namespace talmor
