#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "dialog_fixture.h"
#include "resources/resource_ids.h"

namespace talmor::testing {
namespace {

namespace a = account_policy_ids;
using ::testing::Contains;
using ::testing::ElementsAre;

const std::string kRangeBox =
    BoxLine("exclamation", "ok", "talmor.dll", "Please enter an integer between 1 and 14.");

class AccountPolicyTest : public DialogScenario {
 protected:
  void SetUp() override {
    DialogScenario::SetUp();
    if (!IsSkipped()) LogOnAsAdministrator();
  }
  // The radio pair's checks, whether the minimum box is enabled, and its text.
  static std::string Look(Dialog& d) {
    return std::to_string(d.Item(a::kPermitBlank)->GetCheck()) +
           std::to_string(d.Item(a::kAtLeast)->GetCheck()) +
           (d.Item(a::kMinChars)->IsWindowEnabled() ? " on " : " off ") +
           d.Item(a::kMinChars)->GetWindowText();
  }
};

TEST_P(AccountPolicyTest, TheRadioPairEnablesTheMinimumAndOkStoresTheOptions) {
  manager().BlankPasswordOK = 1;
  manager().PasswordMinChars = 6;
  manager().SecurityDisable = 0;
  manager().IndividualINI = 1;
  std::vector<std::string> seen;
  Step look = Probe([&](Dialog& d) { seen.push_back(Look(d)); });
  RunResult run =
      Run(Steps({Script("dialog 135\ntype 1012 3"), Steps(look), Script("click 1011"), Steps(look),
                 Script("click 1010"), Steps(look),
                 Script("click 1011\ncheck 1003\nuncheck 1004\nuncheck 1011\nclick 1")}),
          [&] { EXPECT_EQ(manager().AdminAccountPolicy(nullptr), 1); });
  EXPECT_THAT(seen, ElementsAre("10 off 6", "01 on 6", "10 off 6"));
  EXPECT_THAT(run.transcript,
              ElementsAre("dialog\t135\tAccount Policy", "error\tcontrol 1012 is disabled",
                          "error\tradio button 1011 cannot be unchecked", "end\t135\t1"));
  EXPECT_EQ(manager().BlankPasswordOK, 0);
  EXPECT_EQ(manager().PasswordMinChars, 6);
  EXPECT_EQ(manager().SecurityDisable, 1);
  EXPECT_EQ(manager().IndividualINI, 0);
  EXPECT_THAT(AuditEvents(), Contains("Policy Change: Accounts policy modified."));
}

TEST_P(AccountPolicyTest, AMinimumOutsideOneToFourteenBlocksOkEvenWhileDisabled) {
  manager().BlankPasswordOK = 1;
  manager().PasswordMinChars = 0;  // as a damaged options file may leave it
  int focus_after_refusal = 0;
  RunResult run = Run(Steps({Script("dialog 135\nclick 1"),
                             Steps(Probe([&](Dialog& d) { focus_after_refusal = d.GetFocusId(); })),
                             Script("click 1011\ntype 1012 15\nclick 1\ntype 1012 x7\nclick 1\n"
                                    "type 1012 14\nclick 1010\nclick 1")}),
                      [&] { EXPECT_EQ(manager().AdminAccountPolicy(nullptr), 1); });
  EXPECT_EQ(focus_after_refusal, a::kMinChars);
  EXPECT_THAT(run.transcript,
              ElementsAre("dialog\t135\tAccount Policy", kRangeBox, kRangeBox,
                          BoxLine("exclamation", "ok", "talmor.dll", "Please enter an integer."),
                          "end\t135\t1"));
  EXPECT_EQ(manager().PasswordMinChars, 14);
  EXPECT_EQ(manager().BlankPasswordOK, 1);
}

// Rows: the stored options, the operator, and what the options are afterwards.
TEST_P(AccountPolicyTest, OutcomesOfOkAndCancel) {
  struct Row {
    int blank, min;
    const char* script;
    int result, blank_after, min_after, disable_after;
  };
  for (const Row& row : {
           Row{0, 8, "type 1012 1\nclick 1", 1, 0, 1, 0},
           Row{0, 8, "type 1012 3\nclick 1010\ncheck 1003\nescape", 0, 0, 8, 0},
           Row{1, 6, "check 1003\nclose", 0, 1, 6, 0},
       }) {
    SCOPED_TRACE(row.script);
    manager().BlankPasswordOK = row.blank;
    manager().PasswordMinChars = row.min;
    manager().SecurityDisable = 0;
    RunResult run = Run(Script(std::string("dialog 135\n") + row.script),
                        [&] { EXPECT_EQ(manager().AdminAccountPolicy(nullptr), row.result); });
    EXPECT_EQ(run.transcript.back(), "end\t135\t" + std::to_string(row.result == 1 ? 1 : 2));
    EXPECT_EQ(manager().BlankPasswordOK, row.blank_after);
    EXPECT_EQ(manager().PasswordMinChars, row.min_after);
    EXPECT_EQ(manager().SecurityDisable, row.disable_after);
  }
  // Only the accepted change is recorded.
  const std::vector<std::string> events = AuditEvents();
  EXPECT_EQ(std::count(events.begin(), events.end(), "Policy Change: Accounts policy modified."),
            1);
}

TEST_P(AccountPolicyTest, AlternativeBrandingUsesItsTemplate) {
  UseAlternativeBranding();
  RunResult run = Run(Script("dialog 140\nescape"), [&] { manager().AdminAccountPolicy(nullptr); });
  EXPECT_THAT(run.transcript, ElementsAre("dialog\t140\tAccount Policy", "end\t140\t2"));
}

INSTANTIATE_TEST_SUITE_P(Backends, AccountPolicyTest, UiBackendRows(), UiBackendName);

}  // namespace
}  // namespace talmor::testing
