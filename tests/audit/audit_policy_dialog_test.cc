#include "audit/audit_policy_dialog.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "support/temp_dir.h"
#include "ui/headless_backend.h"

namespace talmor::testing {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
namespace ids = audit_policy_ids;

class AuditPolicyDialogTest : public ::testing::Test {
 protected:
  // Runs the dialog on `op`'s actions; the actions are script lines, and "probe" lines call
  // `probe` with the open dialog instead.
  int Run(AuditPolicyDialog& dialog, std::vector<std::string> lines,
          std::function<void(Dialog&)> probe = nullptr) {
    size_t next = 0;
    FunctionOperator op([&](Dialog* innermost) -> std::optional<std::string> {
      // A message box (no dialog) waiting for an answer takes its default; probes wait for the
      // dialog.
      if (innermost == nullptr) return std::nullopt;
      while (next < lines.size() && lines[next] == "probe") {
        ++next;
        if (probe) probe(*innermost);
      }
      if (next == lines.size()) return std::nullopt;
      return lines[next++];
    });
    ScopedOperator scoped(op);
    const int result = dialog.DoModal();
    transcript_ = op.transcript();
    return result;
  }

  static std::vector<bool> EventBoxesEnabled(Dialog& d) {
    std::vector<bool> out;
    for (int id : {ids::kLogon, ids::kPolicy, ids::kObject, ids::kOther}) {
      out.push_back(d.Item(id)->IsWindowEnabled());
    }
    return out;
  }

  HeadlessBackend backend_;
  ScopedBackend scoped_backend_{backend_};
  std::vector<std::string> transcript_;
};

TEST_F(AuditPolicyDialogTest, EventBoxesFollowTheMasterSwitchAndKeepTheirStates) {
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
  const int result = Run(dialog, {"dialog 131", "probe", "check 1002", "probe", "uncheck 1003",
                                  "uncheck 1002", "probe", "enter"},
                         [&](Dialog& d) {
                           seen.push_back(EventBoxesEnabled(d));
                           checks.push_back(d.Item(ids::kLogon)->GetCheck());
                         });
  EXPECT_EQ(result, kIdOk);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0], std::vector<bool>(4, false));  // shown disabled, states kept
  EXPECT_EQ(checks[0], 1);
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

TEST_F(AuditPolicyDialogTest, TheMaximumMustBeAnIntegerFromTenTo30000) {
  AuditPolicyDialog dialog(nullptr);
  dialog.enable_ = 1;
  dialog.max_entries_ = 1000;
  int focus_after_failure = 0;
  const int result =
      Run(dialog,
          {"dialog 131", "type 1001 9", "enter", "probe", "type 1001 30001", "enter",
           "type 1001 many", "enter", "type 1001 30000", "enter"},
          [&](Dialog& d) { focus_after_failure = d.GetFocusId(); });
  EXPECT_EQ(result, kIdOk);
  EXPECT_EQ(dialog.max_entries_, 30000);
  EXPECT_EQ(focus_after_failure, ids::kMaxEntries);
  int range = 0, integer = 0;
  for (const std::string& line : transcript_) {
    if (line.find("Please enter an integer between 10 and 30000.") != std::string::npos) ++range;
    if (line.find("\tPlease enter an integer.\t") != std::string::npos) ++integer;
  }
  EXPECT_EQ(range, 2);
  EXPECT_EQ(integer, 1);

  AuditPolicyDialog low(nullptr);
  low.max_entries_ = 10;
  EXPECT_EQ(Run(low, {"dialog 131", "enter"}), kIdOk);
  EXPECT_EQ(low.max_entries_, 10);
}

TEST_F(AuditPolicyDialogTest, ClickingTheSwitchValidatesButStillUpdatesTheBoxes) {
  AuditPolicyDialog dialog(nullptr);
  dialog.enable_ = 0;
  dialog.max_entries_ = 1000;
  std::vector<bool> enabled;
  const int result = Run(dialog, {"dialog 131", "type 1001 5", "check 1002", "probe", "escape"},
                         [&](Dialog& d) { enabled = EventBoxesEnabled(d); });
  EXPECT_EQ(result, kIdCancel);
  EXPECT_THAT(transcript_, Contains(HasSubstr("Please enter an integer between 10 and 30000.")));
  EXPECT_EQ(enabled, std::vector<bool>(4, true));
}

}  // namespace
}  // namespace talmor::testing
