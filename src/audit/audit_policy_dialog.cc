#include "audit/audit_policy_dialog.h"

#include "resources/resource_ids.h"
#include "ui/data_exchange.h"

namespace talmor {
namespace ids = audit_policy_ids;

AuditPolicyDialog::AuditPolicyDialog(Window* owner) : Dialog(kIddAuditPolicy, owner) {}

bool AuditPolicyDialog::OnInitDialog() {
  Dialog::OnInitDialog();
  EnableEventBoxes(values_.AuditEnable != 0);
  return true;
}

void AuditPolicyDialog::DoDataExchange(DataExchange& dx) {
  dx.Check(ids::kEnable, values_.AuditEnable);
  dx.Check(ids::kLogon, values_.AuditLogon);
  dx.Check(ids::kObject, values_.AuditObject);
  dx.Check(ids::kOther, values_.AuditOther);
  dx.Check(ids::kPolicy, values_.AuditPolicy);
  int max_entries = values_.AuditMaxEvents;
  dx.Int(ids::kMaxEntries, max_entries);
  dx.Range(ids::kMaxEntries, max_entries, 10, 30000);
  if (!dx.failed()) values_.AuditMaxEvents = max_entries;
  dx.Check(ids::kOverwrite, values_.AuditOverwrite);
}

bool AuditPolicyDialog::OnCommand(int id, Notify code) {
  if (id == ids::kEnable && code == Notify::kClicked) {
    UpdateData(true);
    EnableEventBoxes(values_.AuditEnable != 0);
    return true;
  }
  return Dialog::OnCommand(id, code);
}

void AuditPolicyDialog::EnableEventBoxes(bool enable) {
  for (int id : {ids::kLogon, ids::kPolicy, ids::kObject, ids::kOther}) {
    Item(id)->EnableWindow(enable);
  }
}

}  // namespace talmor
