#include "audit/audit_policy_dialog.h"

#include "resources/resource_ids.h"
#include "ui/data_exchange.h"

namespace talmor {
namespace ids = audit_policy_ids;

AuditPolicyDialog::AuditPolicyDialog(Window* owner) : Dialog(kIddAuditPolicy, owner) {}

bool AuditPolicyDialog::OnInitDialog() {
  Dialog::OnInitDialog();
  EnableEventBoxes(enable_ != 0);
  return true;
}

void AuditPolicyDialog::DoDataExchange(DataExchange& dx) {
  dx.Check(ids::kEnable, enable_);
  dx.Check(ids::kLogon, logon_);
  dx.Check(ids::kObject, object_);
  dx.Check(ids::kOther, other_);
  dx.Check(ids::kPolicy, policy_);
  int max_entries = max_entries_;
  dx.Int(ids::kMaxEntries, max_entries);
  dx.Range(ids::kMaxEntries, max_entries, 10, 30000);
  if (!dx.failed()) max_entries_ = max_entries;
  dx.Check(ids::kOverwrite, overwrite_);
}

bool AuditPolicyDialog::OnCommand(int id, Notify code) {
  if (id == ids::kEnable && code == Notify::kClicked) {
    UpdateData(true);
    EnableEventBoxes(enable_ != 0);
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
