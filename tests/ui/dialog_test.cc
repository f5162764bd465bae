#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/temp_dir.h"
#include "ui/headless_backend.h"
#include "ui/sample_dialogs.h"

namespace talmor::testing {
namespace {

using ::testing::ElementsAre;

class DialogTest : public ::testing::Test {
 protected:
  ScopedEnv ui_{"TALMOR_UI", "headless"};
};

TEST_F(DialogTest, TypingIsCutToTheLimitsAndOkTakesTheTexts) {
  ScriptOperator op(
      "dialog 130\n"
      "type 1000 ABCDEFGHIJKLMNOPQRSTU\n"
      "type 1001 secret-password-too-long\n"
      "dump\n"
      "enter\n");
  ScopedOperator scoped(op);
  NameDialog dialog;
  dialog.name_ = "first";
  EXPECT_EQ(dialog.DoModal(), kIdOk);
  EXPECT_EQ(dialog.name_, "ABCDEFGHIJKLMNOP");
  EXPECT_EQ(dialog.password_, "secret-passwor");
  EXPECT_THAT(
      op.transcript(),
      ElementsAre("dialog\t130\tQuorvane Login", "control\t1000\tedit\t1\t-\tABCDEFGHIJKLMNOP",
                  "control\t1001\tedit\t1\t-\t**************", "control\t1\tbutton\t1\t-\tOK",
                  "control\t2\tbutton\t1\t-\tCancel", "control\t-1\ticon\t1\t-\t",
                  "control\t-1\tstatic\t1\t-\tType a logon name and password to log in.",
                  "control\t-1\tstatic\t1\t-\tLogon Name:", "control\t-1\tstatic\t1\t-\tPassword:",
                  "end\t130\t1"));
  EXPECT_EQ(op.remaining(), 0u);
}

TEST_F(DialogTest, FailedValidationKeepsTheDialogOpenWithTheFocusOnTheControl) {
  std::vector<int> focus_after_failure;
  int step = 0;
  FunctionOperator op([&](Dialog* d) -> std::optional<std::string> {
    if (d == nullptr) return std::nullopt;  // message boxes take their default
    switch (step++) {
      case 0:
        return "type 1001 9";
      case 1:
        return "click 1";
      case 2:
        focus_after_failure.push_back(d->GetFocusId());
        return "click 1002";  // focus moves to the check box; the exchange fails again
      case 3:
        focus_after_failure.push_back(d->GetFocusId());
        return "type 1001 abc";
      case 4:
        return "enter";
      case 5:
        focus_after_failure.push_back(d->GetFocusId());
        return "type 1001 30000";
      case 6:
        return "click 1";
      default:
        return std::nullopt;
    }
  });
  ScopedOperator scoped(op);
  LimitsDialog dialog;
  dialog.max_ = 500;
  EXPECT_EQ(dialog.DoModal(), kIdOk);
  EXPECT_EQ(dialog.max_, 30000);
  EXPECT_TRUE(dialog.enable_);  // exchanged before the failing value
  EXPECT_THAT(focus_after_failure, ElementsAre(1001, 1001, 1001));
  EXPECT_THAT(op.transcript(),
              ElementsAre("dialog\t131\tAudit Policy",
                          "msgbox\texclamation\tok\ttalmor.dll\tPlease enter an integer between "
                          "10 and 30000.\tok",
                          "msgbox\texclamation\tok\ttalmor.dll\tPlease enter an integer between "
                          "10 and 30000.\tok",
                          "msgbox\texclamation\tok\ttalmor.dll\tPlease enter an integer.\tok",
                          "end\t131\t1"));
}

TEST_F(DialogTest, DisabledControlsIgnoreTheOperator) {
  ScriptOperator op(
      "dialog 131\n"
      "click 1003\n"   // disabled while auditing is off
      "type 9999 x\n"  // no such control
      "click 1002\n"   // enables 1003
      "click 1003\n"
      "answer ok\n"     // no box to answer
      "frobnicate 3\n"  // unknown action
      "click 1\n");
  ScopedOperator scoped(op);
  LimitsDialog dialog;
  dialog.max_ = 100;
  EXPECT_EQ(dialog.DoModal(), kIdOk);
  EXPECT_TRUE(dialog.enable_);
  EXPECT_EQ(dialog.logon_, 1);
  EXPECT_THAT(op.transcript(),
              ElementsAre("dialog\t131\tAudit Policy", "error\tcontrol 1003 is disabled",
                          "error\tno control 9999 in dialog 131", "error\tno message box to answer",
                          "error\tunknown action: frobnicate 3", "end\t131\t1"));
}

TEST_F(DialogTest, NestedDialogRunsTheInnermostActionsFirst) {
  ScriptOperator op(
      "dialog 133\n"
      "type 1001 Chemists\n"
      "click 1004\n"
      "dialog 138\n"
      "select 1017 ann\n"
      "select 1017 Bob\n"
      "click 1018\n"
      "click 1\n"
      "dump\n"
      "click 1\n");
  ScopedOperator scoped(op);
  GroupDialog dialog;
  dialog.users_ = {"Bob", "ann", "carl"};
  EXPECT_EQ(dialog.DoModal(), kIdOk);
  EXPECT_EQ(dialog.nested_result_, kIdOk);
  EXPECT_THAT(dialog.members_, ElementsAre("ann", "Bob"));
  const auto& t = op.transcript();
  ASSERT_GE(t.size(), 4u);
  EXPECT_EQ(t[0], "dialog\t133\tGroup Properties");
  EXPECT_EQ(t[1], "dialog\t138\tGroup Membership");
  EXPECT_EQ(t[2], "end\t138\t1");
  EXPECT_THAT(t, ::testing::Contains("item\t1003\t0\t0\tann"));
  EXPECT_THAT(t, ::testing::Contains("item\t1003\t1\t0\tBob"));
  EXPECT_EQ(t.back(), "end\t133\t1");
}

TEST_F(DialogTest, ListBoxesSortSelectAndKeepItemData) {
  ListBox* members = nullptr;
  std::vector<int> selected;
  std::vector<intptr_t> data;
  bool add_enabled_before = true;
  bool add_enabled_after = false;
  int step = 0;
  FunctionOperator op([&](Dialog* d) -> std::optional<std::string> {
    if (d == nullptr) return std::nullopt;
    auto* chooser = static_cast<ChooserDialog*>(d);
    members = &chooser->members_list_;
    switch (step++) {
      case 0:
        add_enabled_before = d->Item(membership_ids::kAdd)->IsWindowEnabled();
        return "select 1016 delta";
      case 1:
        return "select 1016 Alpha";
      case 2:
        selected = members->GetSelItems();
        for (int i : selected) data.push_back(members->GetItemData(i));
        return "select 1017 zed";  // focus moves: the members selection goes
      case 3:
        add_enabled_after = d->Item(membership_ids::kAdd)->IsWindowEnabled();
        EXPECT_EQ(members->GetSelCount(), 0);
        return "dump";
      case 4:
        return "escape";
      default:
        return std::nullopt;
    }
  });
  ScopedOperator scoped(op);
  ChooserDialog dialog;
  dialog.members_ = {"delta", "Charlie", "Alpha", "bravo"};
  dialog.others_ = {"zed"};
  EXPECT_EQ(dialog.DoModal(), kIdCancel);
  EXPECT_FALSE(add_enabled_before);
  EXPECT_TRUE(add_enabled_after);
  // Sorted ignoring case: Alpha, bravo, Charlie, delta.
  EXPECT_THAT(selected, ElementsAre(0, 3));
  EXPECT_THAT(data, ElementsAre(102, 100));
  EXPECT_FALSE(dialog.members_list_.attached());
  EXPECT_EQ(dialog.members_list_.GetCount(), kListError);
  EXPECT_THAT(op.transcript(), ::testing::IsSupersetOf({
                                   "item\t1016\t0\t0\tAlpha",
                                   "item\t1016\t1\t0\tbravo",
                                   "item\t1016\t2\t0\tCharlie",
                                   "item\t1016\t3\t0\tdelta",
                                   "item\t1017\t0\t1\tzed",
                                   "control\t1018\tbutton\t1\t-\t<- &Add",
                                   "end\t138\t2",
                               }));
}

TEST_F(DialogTest, MessageBoxesAreAnsweredAsScriptedOrByDefault) {
  ScriptOperator op(
      "answer cancel\n"
      "answer yes\n"
      "answer no\n"
      "answer ok\n"
      "answer yes\n"  // does not fit an OK box: reported, answered OK
      "answer no\n");
  ScopedOperator scoped(op);
  EXPECT_EQ(
      MessageBox(nullptr, "Are you sure?", "Clear Audit Log", kMbOkCancel | kMbIconExclamation),
      kIdCancel);
  EXPECT_EQ(MessageBox(nullptr, "Q", "C", kMbYesNo | kMbIconQuestion), kIdYes);
  EXPECT_EQ(MessageBox(nullptr, "Q", "C", kMbYesNoCancel | kMbIconInformation), kIdNo);
  EXPECT_EQ(MessageBox(nullptr, "line1\nline2", "C", kMbOk | kMbIconStop), kIdOk);
  EXPECT_EQ(MessageBox(nullptr, "T", "C", kMbOk), kIdOk);
  // "answer no" is next, but an OK box takes only an `answer`: it is consumed and ignored.
  EXPECT_EQ(MessageBox(nullptr, "T", "C", kMbOk), kIdOk);
  // Script exhausted: defaults.
  EXPECT_EQ(MessageBox(nullptr, "T", "", kMbOk), kIdOk);
  EXPECT_EQ(MessageBox(nullptr, "T", "C", kMbOkCancel), kIdCancel);
  EXPECT_EQ(MessageBox(nullptr, "T", "C", kMbYesNo), kIdNo);
  EXPECT_EQ(MessageBox(nullptr, "T", "C", kMbYesNoCancel), kIdCancel);
  EXPECT_THAT(
      op.transcript(),
      ElementsAre("msgbox\texclamation\tokcancel\tClear Audit Log\tAre you sure?\tcancel",
                  "msgbox\tquestion\tyesno\tC\tQ\tyes",
                  "msgbox\tinformation\tyesnocancel\tC\tQ\tno",
                  "msgbox\tstop\tok\tC\tline1\\nline2\tok",
                  "error\tanswer yes does not fit a ok box", "msgbox\tnone\tok\tC\tT\tok",
                  "error\tanswer no does not fit a ok box", "msgbox\tnone\tok\tC\tT\tok",
                  "msgbox\tnone\tok\ttalmor.dll\tT\tok", "msgbox\tnone\tokcancel\tC\tT\tcancel",
                  "msgbox\tnone\tyesno\tC\tT\tno", "msgbox\tnone\tyesnocancel\tC\tT\tcancel"));
}

TEST_F(DialogTest, ScriptThatRunsOutCancelsAndWrongDialogDoesNotHang) {
  ScriptOperator op(
      "dialog 130\n"
      "type 1000 someone\n"
      "dialog 999\n"
      "type 1000 never typed\n");
  ScopedOperator scoped(op);
  NameDialog first;
  EXPECT_EQ(first.DoModal(), kIdCancel);  // the next `dialog` line ends its actions
  EXPECT_EQ(first.name_, "");
  NameDialog second;
  EXPECT_EQ(second.DoModal(), kIdCancel);  // dialog 999 expected: reported and cancelled
  NameDialog third;
  third.name_ = "kept";
  EXPECT_EQ(third.DoModal(), kIdCancel);  // `type` runs, then the script is out
  EXPECT_EQ(third.name_, "kept");
  EXPECT_THAT(
      op.transcript(),
      ElementsAre("dialog\t130\tQuorvane Login", "end\t130\t2", "dialog\t130\tQuorvane Login",
                  "error\tdialog 999 expected, dialog 130 shown", "end\t130\t2",
                  "dialog\t130\tQuorvane Login", "end\t130\t2"));
}

TEST_F(DialogTest, RadioButtonsFormAGroup) {
  ScriptOperator op(
      "dialog 135\n"
      "type 1012 8\n"  // disabled while blank passwords are permitted
      "click 1011\n"
      "type 1012 15\n"
      "uncheck 1010\n"
      "enter\n"
      "type 1012 8\n"
      "dump\n"
      "enter\n");
  ScopedOperator scoped(op);
  RadioDialog dialog;
  EXPECT_EQ(dialog.DoModal(), kIdOk);
  EXPECT_EQ(dialog.choice_, 1);
  EXPECT_EQ(dialog.min_, 8);
  EXPECT_THAT(
      op.transcript(),
      ::testing::IsSupersetOf(
          {"error\tcontrol 1012 is disabled", "error\tradio button 1010 cannot be unchecked",
           "msgbox\texclamation\tok\ttalmor.dll\tPlease enter an "
           "integer between 1 and 14.\tok",
           "control\t1010\tradio\t1\t0\tPermit &Blank Password",
           "control\t1011\tradio\t1\t1\tAt &Least", "control\t1012\tedit\t1\t-\t8"}));
}

TEST_F(DialogTest, ScriptAndTranscriptFiles) {
  TempDir dir;
  {
    std::ofstream script(dir.File("script.txt"), std::ios::binary);
    script << "# log on\r\n"
              "dialog 130\r\n"
              "type 1000 tab\\there\\x41\\\\ #not a comment\r\n"
              "click 2   # cancel\r\n";
  }
  ScopedEnv script_env("TALMOR_UI_SCRIPT", dir.File("script.txt"));
  ScopedEnv transcript_env("TALMOR_UI_TRANSCRIPT", dir.File("out.txt"));
  NameDialog dialog;
  EXPECT_EQ(dialog.DoModal(), kIdCancel);
  EXPECT_EQ(MessageBox(nullptr, "a\tb\x01", "cap", kMbOk | kMbIconInformation), kIdOk);
  std::ifstream in(dir.File("out.txt"), std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  EXPECT_EQ(content.str(),
            "dialog\t130\tQuorvane Login\n"
            "end\t130\t2\n"
            "msgbox\tinformation\tok\tcap\ta\\tb\\x01\tok\n");
}

TEST(ScriptTest, ParsesActionsEscapesAndProblems) {
  auto a = ParseScriptLine("type 1000 a\\nb\\x7a\\\\\\q");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->kind, ActionKind::kType);
  EXPECT_EQ(a->id, 1000);
  EXPECT_EQ(a->text, "a\nbz\\\\q");
  EXPECT_FALSE(ParseScriptLine("   # comment"));
  EXPECT_FALSE(ParseScriptLine(""));
  auto resize = ParseScriptLine("resize 640 480");
  ASSERT_TRUE(resize);
  EXPECT_EQ(resize->id, 640);
  EXPECT_EQ(resize->height, 480);
  EXPECT_EQ(ParseScriptLine("key 1000 Sideways")->kind, ActionKind::kInvalid);
  EXPECT_EQ(ParseScriptLine("scroll 1000 bottom")->text, "bottom");
  EXPECT_EQ(ParseScriptLine("click x")->kind, ActionKind::kInvalid);
  EXPECT_EQ(ParseScriptLine("click 1 2")->kind, ActionKind::kInvalid);
  EXPECT_EQ(ParseScriptLine("answer maybe")->kind, ActionKind::kInvalid);
  EXPECT_EQ(EscapeTranscriptText("a\\b\r\x7f"), "a\\\\b\\r\\x7F");
}

TEST(DataExchangeTest, ParsesIntegersStrictly) {
  int v = 0;
  EXPECT_TRUE(ParseInteger(" -42 ", &v));
  EXPECT_EQ(v, -42);
  EXPECT_TRUE(ParseInteger("+7", &v));
  EXPECT_EQ(v, 7);
  EXPECT_TRUE(ParseInteger("-2147483648", &v));
  EXPECT_EQ(v, -2147483647 - 1);
  EXPECT_FALSE(ParseInteger("2147483648", &v));
  EXPECT_FALSE(ParseInteger("", &v));
  EXPECT_FALSE(ParseInteger("12a", &v));
  EXPECT_FALSE(ParseInteger("1 2", &v));
  EXPECT_FALSE(ParseInteger("-", &v));
}

}  // namespace
}  // namespace talmor::testing
