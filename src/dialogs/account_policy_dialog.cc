#include "dialogs/account_policy_dialog.h"

#include "manager/branding.h"
#include "resources/resource_ids.h"
#include "ui/data_exchange.h"

namespace talmor {
namespace ids = account_policy_ids;

AccountPolicyDialog::AccountPolicyDialog(Window* owner)
    : Dialog(IsAlternativeBranding() ? kIddAccountPolicyAlternative : kIddAccountPolicy, owner) {}

bool AccountPolicyDialog::OnInitDialog() {
  Dialog::OnInitDialog();
  bool blank = values_.BlankPasswordOK != 0;
  CheckRadioButton(ids::kPermitBlank, ids::kAtLeast, blank ? ids::kPermitBlank : ids::kAtLeast);
  Item(ids::kMinChars)->EnableWindow(!blank);
  return true;
}

void AccountPolicyDialog::DoDataExchange(DataExchange& dx) {
  int min_chars = values_.PasswordMinChars;
  dx.Int(ids::kMinChars, min_chars);
  dx.Range(ids::kMinChars, min_chars, 1, 14);
  if (!dx.failed()) values_.PasswordMinChars = min_chars;
  dx.Check(ids::kDisableSecurity, values_.SecurityDisable);
  dx.Check(ids::kIndividualSettings, values_.IndividualINI);
}

bool AccountPolicyDialog::OnCommand(int id, Notify code) {
  if (code == Notify::kClicked && (id == ids::kPermitBlank || id == ids::kAtLeast)) {
    // The box keeps its text either way.
    Item(ids::kMinChars)->EnableWindow(id == ids::kAtLeast);
    return true;
  }
  return Dialog::OnCommand(id, code);
}

void AccountPolicyDialog::OnOK() {
  values_.BlankPasswordOK = Item(ids::kPermitBlank)->GetCheck() == kChecked ? 1 : 0;
  if (UpdateData(true)) EndDialog(kIdOk);
}

}  // namespace talmor
