#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "dialog_driver.h"
#include "dialogs/standard_manager_dialogs.h"
#include "manager/branding.h"
#include "manager/security_manager.h"
#include "platform/profile_file.h"
#include "support/temp_dir.h"

namespace talmor::testing {

// A manager started on an empty data directory (the built-in account and group only), with the
// real dialogs installed, and a driver for the backend named by the test parameter.
class DialogScenario : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    ASSERT_NE(driver_, nullptr) << "no driver for backend " << GetParam();
    ResetBrandingForTesting();
    manager_ = std::make_unique<SecurityManager>();
    manager_->SetDialogs(&dialogs_);
    manager_->StartUp();
  }
  void TearDown() override {
    manager_.reset();
    ResetBrandingForTesting();
  }

  RunResult Run(std::vector<Step> steps, const std::function<void()>& body) {
    return driver_->Run(std::move(steps), body);
  }

  void UseAlternativeBranding() {
    WriteProfileString("qvtalmor.ini", "Acquisition", "IsGCMD", "TRUE");
    ResetBrandingForTesting();
  }

  void LogOnAsAdministrator() { ASSERT_EQ(manager_->LogInUser("Administrator", "BlueHarbour"), 1); }

  SecurityManager& manager() { return *manager_; }

  TempDir dir_;
  ScopedEnv windir_{"QUORVANE_WINDIR", dir_.path()};
  ScopedEnv share_{"QVSHARE_DIR", dir_.File("share")};
  ScopedEnv ui_{"TALMOR_UI", GetParam()};
  std::unique_ptr<UiDriver> driver_ = MakeDriver(GetParam());
  StandardManagerDialogs dialogs_;
  std::unique_ptr<SecurityManager> manager_;
};

}  // namespace talmor::testing
