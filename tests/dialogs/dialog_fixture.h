#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "audit/audit_log_file.h"
#include "dialogs/standard_manager_dialogs.h"
#include "manager/branding.h"
#include "manager/security_manager.h"
#include "manager/standard_audit_dialogs.h"
#include "platform/profile_file.h"
#include "support/temp_dir.h"
#include "support/ui_backends.h"

namespace talmor::testing {

constexpr const char* kManagerCaption = "Quorvane Security Manager";

// A manager started on an empty data directory (the built-in account and group only), with the
// real dialogs installed, run once per backend (UiBackendRows).
class DialogScenario : public UiBackendTest {
 protected:
  void SetUp() override {
    UiBackendTest::SetUp();
    if (IsSkipped()) return;
    ResetBrandingForTesting();
    manager_ = std::make_unique<SecurityManager>();
    manager_->SetDialogs(&dialogs_);
    manager_->SetAuditDialogs(&audit_dialogs_);
    manager_->StartUp();
  }
  void TearDown() override {
    manager_.reset();
    ResetBrandingForTesting();
  }

  void UseAlternativeBranding() {
    WriteProfileString("qvtalmor.ini", "Acquisition", "IsGCMD", "TRUE");
    ResetBrandingForTesting();
  }
  void LogOnAsAdministrator() { ASSERT_EQ(manager_->LogInUser("Administrator", "BlueHarbour"), 1); }
  SecurityManager& manager() { return *manager_; }

  // "source: description" of every audit event, oldest first.
  static std::vector<std::string> AuditEvents() {
    AuditLogFile log;
    std::vector<std::string> events;
    for (uint32_t i = 0; i < log.EventCount(); ++i) {
      std::string date, time, source, user, description;
      EXPECT_TRUE(log.ReadEvent(i, date, time, source, user, description));
      events.push_back(source + ": " + description);
    }
    return events;
  }

  TempDir dir_;
  ScopedEnv windir_{"QUORVANE_WINDIR", dir_.path()};
  ScopedEnv share_{"QVSHARE_DIR", dir_.File("share")};
  ScopedEnv ui_{"TALMOR_UI", Backend()};
  StandardManagerDialogs dialogs_;
  StandardAuditDialogs audit_dialogs_;
  std::unique_ptr<SecurityManager> manager_;
};

}  // namespace talmor::testing
