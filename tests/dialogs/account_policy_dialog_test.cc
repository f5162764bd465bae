#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "dialog_fixture.h"
#include "resources/resource_ids.h"

namespace talmor::testing {
namespace {

namespace a = account_policy_ids;
using ::testing::ElementsAre;

struct PolicyView {
  int permit_blank = -1, at_least = -1, disable = -1, individual = -1;
  bool min_enabled = false;
  std::string min_text;
  std::string disable_text, individual_text;
};

PolicyView SeePolicy(Dialog& d) {
  PolicyView v;
  v.permit_blank = d.Item(a::kPermitBlank)->GetCheck();
  v.at_least = d.Item(a::kAtLeast)->GetCheck();
  v.disable = d.Item(a::kDisableSecurity)->GetCheck();
  v.individual = d.Item(a::kIndividualSettings)->GetCheck();
  v.min_enabled = d.Item(a::kMinChars)->IsWindowEnabled();
  v.min_text = d.Item(a::kMinChars)->GetWindowText();
  v.disable_text = d.Item(a::kDisableSecurity)->GetWindowText();
  v.individual_text = d.Item(a::kIndividualSettings)->GetWindowText();
  return v;
}

std::string RangeBox() {
  return "msgbox\texclamation\tok\ttalmor.dll\tPlease enter an integer between 1 and 14.\tok";
}

class AccountPolicyTest : public DialogScenario {
 protected:
  void SetUp() override {
    DialogScenario::SetUp();
    LogOnAsAdministrator();
  }
};

TEST_P(AccountPolicyTest, PermittedBlankPasswordsDisableTheMinimumUntilAtLeastIsChosen) {
  manager().BlankPasswordOK = 1;
  manager().PasswordMinChars = 6;
  manager().SecurityDisable = 0;
  manager().IndividualINI = 1;
  PolicyView opened, after_at_least, after_blank;
  RunResult run = Run(
      Steps({Script("dialog 135"), Steps(Probe([&](Dialog& d) { opened = SeePolicy(d); })),
             Script("click 1011"), Steps(Probe([&](Dialog& d) { after_at_least = SeePolicy(d); })),
             Script("click 1010"), Steps(Probe([&](Dialog& d) { after_blank = SeePolicy(d); })),
             Script("click 1011\ncheck 1003\nuncheck 1004\nclick 1")}),
      [&] { EXPECT_EQ(manager().AdminAccountPolicy(nullptr), 1); });
  EXPECT_EQ(opened.permit_blank, kChecked);
  EXPECT_EQ(opened.at_least, kUnchecked);
  EXPECT_FALSE(opened.min_enabled);
  EXPECT_EQ(opened.min_text, "6");
  EXPECT_EQ(opened.disable, kUnchecked);
  EXPECT_EQ(opened.individual, kChecked);
  EXPECT_EQ(opened.disable_text, "&Disable Quorvane Security");
  EXPECT_EQ(opened.individual_text, "&Maintain individual user settings within Quorvane");
  EXPECT_TRUE(after_at_least.min_enabled);
  EXPECT_EQ(after_at_least.permit_blank, kUnchecked);
  EXPECT_FALSE(after_blank.min_enabled);
  EXPECT_EQ(after_blank.min_text, "6");
  EXPECT_THAT(run.transcript, ElementsAre("dialog\t135\tAccount Policy", "end\t135\t1"));
  EXPECT_EQ(manager().BlankPasswordOK, 0);
  EXPECT_EQ(manager().PasswordMinChars, 6);
  EXPECT_EQ(manager().SecurityDisable, 1);
  EXPECT_EQ(manager().IndividualINI, 0);
}

TEST_P(AccountPolicyTest, AMinimumOutsideOneToFourteenBlocksOkEvenWhileDisabled) {
  manager().BlankPasswordOK = 1;
  manager().PasswordMinChars = 0;  // as a damaged options file may leave it
  int focus_after_refusal = 0;
  RunResult run = Run(Steps({Script("dialog 135\nclick 1"),
                             Steps(Probe([&](Dialog& d) { focus_after_refusal = d.GetFocusId(); })),
                             Script("click 1011\n"
                                    "type 1012 15\nclick 1\n"
                                    "type 1012 x7\nclick 1\n"
                                    "type 1012 14\nclick 1010\nclick 1")}),
                      [&] { EXPECT_EQ(manager().AdminAccountPolicy(nullptr), 1); });
  EXPECT_EQ(focus_after_refusal, a::kMinChars);
  EXPECT_THAT(run.transcript,
              ElementsAre("dialog\t135\tAccount Policy", RangeBox(), RangeBox(),
                          "msgbox\texclamation\tok\ttalmor.dll\tPlease enter an integer.\tok",
                          "end\t135\t1"));
  EXPECT_EQ(manager().PasswordMinChars, 14);
  EXPECT_EQ(manager().BlankPasswordOK, 1);

  manager().BlankPasswordOK = 0;
  Run(Script("dialog 135\ntype 1012 1\nclick 1"),
      [&] { EXPECT_EQ(manager().AdminAccountPolicy(nullptr), 1); });
  EXPECT_EQ(manager().PasswordMinChars, 1);
  EXPECT_EQ(manager().BlankPasswordOK, 0);
}

TEST_P(AccountPolicyTest, CancelAfterChangesLeavesTheOptions) {
  manager().BlankPasswordOK = 0;
  manager().PasswordMinChars = 8;
  PolicyView opened;
  RunResult run =
      Run(Steps({Script("dialog 135"), Steps(Probe([&](Dialog& d) { opened = SeePolicy(d); })),
                 Script("type 1012 3\nclick 1010\ncheck 1003\nescape")}),
          [&] { EXPECT_EQ(manager().AdminAccountPolicy(nullptr), 0); });
  EXPECT_EQ(opened.at_least, kChecked);
  EXPECT_TRUE(opened.min_enabled);
  EXPECT_THAT(run.transcript, ElementsAre("dialog\t135\tAccount Policy", "end\t135\t2"));
  EXPECT_EQ(manager().BlankPasswordOK, 0);
  EXPECT_EQ(manager().PasswordMinChars, 8);
  EXPECT_EQ(manager().SecurityDisable, 0);
}

TEST_P(AccountPolicyTest, AlternativeBrandingUsesItsTemplate) {
  UseAlternativeBranding();
  PolicyView opened;
  RunResult run =
      Run(Steps({Script("dialog 140"), Steps(Probe([&](Dialog& d) { opened = SeePolicy(d); })),
                 Script("escape")}),
          [&] { manager().AdminAccountPolicy(nullptr); });
  EXPECT_THAT(run.transcript, ElementsAre("dialog\t140\tAccount Policy", "end\t140\t2"));
  EXPECT_EQ(opened.disable_text, "&Disable Sarvento Security");
  EXPECT_EQ(opened.individual_text, "&Maintain individual user settings within Sarvento");
}

INSTANTIATE_TEST_SUITE_P(Backends, AccountPolicyTest, ::testing::ValuesIn(DriverBackends()));

}  // namespace
}  // namespace talmor::testing
