#include "audit/audit_policy_dialog.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialogs/dialog_driver.h"
#include "resources/resource_ids.h"

namespace talmor::testing {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
namespace ids = audit_policy_ids;

class AuditPolicyDialogTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override { ASSERT_NE(driver_, nullptr) << "no driver for backend " << GetParam(); }

  // Runs the dialog with `steps` as the operator; answers DoModal's result.
  int Run(AuditPolicyDialog& dialog, std::vector<Step> steps) {
    int result = -1;
    RunResult run = driver_->Run(std::move(steps), [&] { result = dialog.DoModal(); });
    transcript_ = run.transcript;
    return result;
  }

  static std::vector<bool> EventBoxesEnabled(Dialog& d) {
    std::vector<bool> out;
    for (int id : {ids::kLogon, ids::kPolicy, ids::kObject, ids::kOther}) {
      out.push_back(d.Item(id)->IsWindowEnabled());
    }
    return out;
  }

  std::unique_ptr<UiDriver> driver_ = MakeDriver(GetParam());
  std::vector<std::string> transcript_;
};

TEST_P(AuditPolicyDialogTest, EventBoxesFollowTheMasterSwitchAndKeepTheirStates) {
  AuditPolicyDialog dialog(nullptr);
  dialog.values_.AuditEnable = 0;
  dialog.values_.AuditLogon = 1;
  dialog.values_.AuditPolicy = 0;
  dialog.values_.AuditObject = 1;
  dialog.values_.AuditOther = 1;
  dialog.values_.AuditMaxEvents = 500;
  dialog.values_.AuditOverwrite = 1;
  std::vector<std::vector<bool>> seen;
  std::vector<int> checks;
  Step look = Probe([&](Dialog& d) {
    seen.push_back(EventBoxesEnabled(d));
    checks.push_back(d.Item(ids::kLogon)->GetCheck());
  });
  const int result =
      Run(dialog, Steps({Script("dialog 131"), Steps(look), Script("check 1002"), Steps(look),
                         Script("uncheck 1003\nuncheck 1002"), Steps(look), Script("enter")}));
  EXPECT_EQ(result, kIdOk);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0], std::vector<bool>(4, false));  // shown disabled, states kept
  // Enabled with the states they had; cleared by the operator while enabled, kept when
  // disabled again.
  EXPECT_EQ(checks, (std::vector<int>{1, 1, 0}));
  EXPECT_EQ(seen[1], std::vector<bool>(4, true));
  EXPECT_EQ(seen[2], std::vector<bool>(4, false));
  // Clearing 1002 leaves the event boxes as they are shown.
  EXPECT_EQ(dialog.values_.AuditEnable, 0);
  EXPECT_EQ(dialog.values_.AuditLogon, 0);
  EXPECT_EQ(dialog.values_.AuditObject, 1);
  EXPECT_EQ(dialog.values_.AuditOther, 1);
  EXPECT_EQ(dialog.values_.AuditPolicy, 0);
  EXPECT_EQ(dialog.values_.AuditMaxEvents, 500);
  EXPECT_EQ(dialog.values_.AuditOverwrite, 1);
}

TEST_P(AuditPolicyDialogTest, TheMaximumMustBeAnIntegerFromTenTo30000) {
  AuditPolicyDialog dialog(nullptr);
  dialog.values_.AuditEnable = 1;
  dialog.values_.AuditMaxEvents = 1000;
  int focus_after_failure = 0;
  const int result =
      Run(dialog, Steps({Script("dialog 131\ntype 1001 9\nenter"),
                         Steps(Probe([&](Dialog& d) { focus_after_failure = d.GetFocusId(); })),
                         Script("type 1001 30001\nenter\ntype 1001 many\nenter\n"
                                "type 1001 30000\nenter")}));
  EXPECT_EQ(result, kIdOk);
  EXPECT_EQ(dialog.values_.AuditMaxEvents, 30000);
  EXPECT_EQ(focus_after_failure, ids::kMaxEntries);
  int range = 0, integer = 0;
  for (const std::string& line : transcript_) {
    if (line.find("Please enter an integer between 10 and 30000.") != std::string::npos) ++range;
    if (line.find("\tPlease enter an integer.\t") != std::string::npos) ++integer;
  }
  EXPECT_EQ(range, 2);
  EXPECT_EQ(integer, 1);

  AuditPolicyDialog low(nullptr);
  low.values_.AuditMaxEvents = 10;
  EXPECT_EQ(Run(low, Script("dialog 131\nenter")), kIdOk);
  EXPECT_EQ(low.values_.AuditMaxEvents, 10);
}

TEST_P(AuditPolicyDialogTest, ClickingTheSwitchValidatesButStillUpdatesTheBoxes) {
  AuditPolicyDialog dialog(nullptr);
  dialog.values_.AuditEnable = 0;
  dialog.values_.AuditMaxEvents = 1000;
  std::vector<bool> enabled;
  const int result = Run(
      dialog,
      Steps({Script("dialog 131\ntype 1001 5\ncheck 1002"),
             Steps(Probe([&](Dialog& d) { enabled = EventBoxesEnabled(d); })), Script("escape")}));
  EXPECT_EQ(result, kIdCancel);
  EXPECT_THAT(transcript_, Contains(HasSubstr("Please enter an integer between 10 and 30000.")));
  EXPECT_EQ(enabled, std::vector<bool>(4, true));
}

INSTANTIATE_TEST_SUITE_P(Backends, AuditPolicyDialogTest, ::testing::ValuesIn(DriverBackends()));

}  // namespace
}  // namespace talmor::testing
