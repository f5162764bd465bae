#pragma once

#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "ui/data_exchange.h"
#include "ui/dialog.h"

// Small dialogs on the library's templates, written the way the system's dialogs are.
namespace talmor::testing {

// Log-on template: two limited edits.
class NameDialog : public Dialog {
 public:
  explicit NameDialog(Window* owner = nullptr) : Dialog(kIddLogon, owner) {}
  std::string name_;
  std::string password_;

 protected:
  void DoDataExchange(DataExchange& dx) override {
    dx.Text(logon_ids::kUserName, name_);
    dx.MaxChars(logon_ids::kUserName, 16);
    dx.Text(logon_ids::kPassword, password_);
    dx.MaxChars(logon_ids::kPassword, 14);
  }
};

}  // namespace talmor::testing
