#include "audit/audit_policy_dialog.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "support/ui_backends.h"

namespace talmor::testing {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
namespace ids = audit_policy_ids;

class AuditPolicyDialogTest : public UiBackendTest {
 protected:
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

  std::vector<std::string> transcript_;
};

TEST_P(AuditPolicyDialogTest, EventBoxesFollowTheMasterSwitchAndKeepTheirStates) {
  AuditPolicyDialog dialog(nullptr);
  dialog.enable_ = 0;
  dialog.logon_ = 1;
  dialog.policy_ = 0;
  dialog.object_ = 1;
  dialog.other_ = 1;
  dialog.max_entries_ = 500;
  dialog.overwrite_ = 1;
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
  EXPECT_EQ(dialog.enable_, 0);
  EXPECT_EQ(dialog.logon_, 0);
  EXPECT_EQ(dialog.object_, 1);
  EXPECT_EQ(dialog.other_, 1);
  EXPECT_EQ(dialog.policy_, 0);
  EXPECT_EQ(dialog.max_entries_, 500);
  EXPECT_EQ(dialog.overwrite_, 1);
}

TEST_P(AuditPolicyDialogTest, TheMaximumMustBeAnIntegerFromTenTo30000) {
  AuditPolicyDialog dialog(nullptr);
  dialog.enable_ = 1;
  dialog.max_entries_ = 1000;
  int focus_after_failure = 0;
  const int result =
      Run(dialog, Steps({Script("dialog 131\ntype 1001 9\nenter"),
                         Steps(Probe([&](Dialog& d) { focus_after_failure = d.GetFocusId(); })),
                         Script("type 1001 30001\nenter\ntype 1001 many\nenter\n"
                                "type 1001 30000\nenter")}));
  EXPECT_EQ(result, kIdOk);
  EXPECT_EQ(dialog.max_entries_, 30000);
  EXPECT_EQ(focus_after_failure, ids::kMaxEntries);
  const std::string range =
      BoxLine("exclamation", "ok", "talmor.dll", "Please enter an integer between 10 and 30000.");
  EXPECT_THAT(transcript_, ::testing::ElementsAre("dialog\t131\tAudit Policy", range, range,
                                                  BoxLine("exclamation", "ok", "talmor.dll",
                                                          "Please enter an integer."),
                                                  "end\t131\t1"));

  AuditPolicyDialog low(nullptr);
  low.max_entries_ = 10;
  EXPECT_EQ(Run(low, Script("dialog 131\nenter")), kIdOk);
  EXPECT_EQ(low.max_entries_, 10);
}

TEST_P(AuditPolicyDialogTest, ClickingTheSwitchValidatesButStillUpdatesTheBoxes) {
  AuditPolicyDialog dialog(nullptr);
  dialog.enable_ = 0;
  dialog.max_entries_ = 1000;
  std::vector<bool> enabled;
  const int result = Run(
      dialog,
      Steps({Script("dialog 131\ntype 1001 5\ncheck 1002"),
             Steps(Probe([&](Dialog& d) { enabled = EventBoxesEnabled(d); })), Script("escape")}));
  EXPECT_EQ(result, kIdCancel);
  EXPECT_THAT(transcript_, Contains(HasSubstr("Please enter an integer between 10 and 30000.")));
  EXPECT_EQ(enabled, std::vector<bool>(4, true));
}

INSTANTIATE_TEST_SUITE_P(Backends, AuditPolicyDialogTest, UiBackendRows(), UiBackendName);

}  // namespace
}  // namespace talmor::testing
