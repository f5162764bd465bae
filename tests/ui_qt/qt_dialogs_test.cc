#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <cstdlib>

#include "support/temp_dir.h"
#include "support/ui_backends.h"
#include "ui/qt/qt_backend.h"
#include "ui/sample_dialogs.h"

namespace talmor::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// The Qt rows draw off screen; set before anything can start Qt.
const bool offscreen = [] {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  return true;
}();

const char* NotifyName(Notify code) {
  switch (code) {
    case Notify::kClicked:
      return "clicked";
    case Notify::kChange:
      return "change";
    case Notify::kSelChange:
      return "selchange";
    case Notify::kDoubleClick:
      return "dblclick";
    case Notify::kSetFocus:
      return "setfocus";
    case Notify::kKillFocus:
      return "killfocus";
    case Notify::kMenu:
      return "menu";
  }
  return "?";
}

// A sample dialog that writes down every notification, key and scroll it receives.
template <class Base>
class Recording : public Base {
 public:
  using Base::Base;
  std::vector<std::string> log;

 protected:
  bool OnCommand(int id, Notify code) override {
    log.push_back(std::to_string(id) + " " + NotifyName(code));
    return Base::OnCommand(id, code);
  }
  void OnControlKey(int id, Key key) override {
    log.push_back(std::to_string(id) + " key " + std::to_string(static_cast<int>(key)));
  }
  void OnControlScroll(int id, ScrollCode code) override {
    log.push_back(std::to_string(id) + " scroll " + std::to_string(static_cast<int>(code)));
  }
  void OnSize(int cx, int cy) override {
    log.push_back("size " + std::to_string(cx) + "x" + std::to_string(cy));
  }
};

class BackendTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    std::vector<std::string> available = UiBackendsUnderTest();
    if (std::find(available.begin(), available.end(), GetParam()) == available.end()) {
      GTEST_SKIP() << GetParam() << " cannot start here";
    }
    driver_ = MakeUiDriver(GetParam());
  }
  std::vector<std::string> Run(const std::string& script, const std::function<void()>& body) {
    return driver_->Run(ScriptActions(script), body);
  }
  std::unique_ptr<UiDriver> driver_;
};

TEST_P(BackendTest, TypingIsCutToTheLimitsAndEnterTakesTheTexts) {
  Recording<NameDialog> dialog;
  dialog.name_ = "first";
  int result = 0;
  auto transcript = Run(
      "dialog 130\n"
      "type 1000 ABCDEFGHIJKLMNOPQRSTU\n"
      "type 1001 secret-password-too-long\n"
      "dump\n"
      "enter\n",
      [&] { result = dialog.DoModal(); });
  EXPECT_EQ(result, kIdOk);
  EXPECT_EQ(dialog.name_, "ABCDEFGHIJKLMNOP");
  EXPECT_EQ(dialog.password_, "secret-passwor");
  EXPECT_THAT(
      transcript,
      ElementsAre("dialog\t130\tQuorvane Login", "control\t1000\tedit\t1\t-\tABCDEFGHIJKLMNOP",
                  "control\t1001\tedit\t1\t-\t**************", "control\t1\tbutton\t1\t-\tOK",
                  "control\t2\tbutton\t1\t-\tCancel", "control\t-1\ticon\t1\t-\t",
                  "control\t-1\tstatic\t1\t-\tType a logon name and password to log in.",
                  "control\t-1\tstatic\t1\t-\tLogon Name:", "control\t-1\tstatic\t1\t-\tPassword:",
                  "end\t130\t1"));
  EXPECT_THAT(dialog.log, ElementsAre("1000 setfocus", "1000 change", "1000 killfocus",
                                      "1001 setfocus", "1001 change", "1 clicked"));
}

TEST_P(BackendTest, FailedValidationShowsTheMessageAndKeepsTheFocus) {
  Recording<LimitsDialog> dialog;
  dialog.max_ = 500;
  int result = 0;
  auto transcript = Run(
      "type 1001 9\n"
      "click 1\n"
      "type 1001 abc\n"
      "enter\n"
      "type 1001 30000\n"
      "click 1\n",
      [&] { result = dialog.DoModal(); });
  EXPECT_EQ(result, kIdOk);
  EXPECT_EQ(dialog.max_, 30000);
  EXPECT_THAT(transcript,
              ElementsAre("dialog\t131\tAudit Policy",
                          "msgbox\texclamation\tok\ttalmor.dll\tPlease enter an integer between "
                          "10 and 30000.\tok",
                          "msgbox\texclamation\tok\ttalmor.dll\tPlease enter an integer.\tok",
                          "end\t131\t1"));
}

TEST_P(BackendTest, DisabledAndMissingControlsAreReported) {
  LimitsDialog dialog;
  dialog.max_ = 100;
  int result = 0;
  auto transcript = Run(
      "dialog 131\n"
      "click 1003\n"
      "type 9999 x\n"
      "click 1002\n"
      "click 1003\n"
      "answer ok\n"
      "click 1\n",
      [&] { result = dialog.DoModal(); });
  EXPECT_EQ(result, kIdOk);
  EXPECT_TRUE(dialog.enable_);
  EXPECT_EQ(dialog.logon_, 1);
  EXPECT_THAT(transcript,
              ElementsAre("dialog\t131\tAudit Policy", "error\tcontrol 1003 is disabled",
                          "error\tno control 9999 in dialog 131", "error\tno message box to answer",
                          "end\t131\t1"));
}

TEST_P(BackendTest, NestedDialogIsOwnedAndRunsFirst) {
  Recording<GroupDialog> dialog;
  dialog.users_ = {"Bob", "ann", "carl"};
  int result = 0;
  auto transcript = Run(
      "dialog 133\n"
      "type 1001 Chemists\n"
      "click 1004\n"
      "dialog 138\n"
      "select 1017 ann\n"
      "select 1017 Bob\n"
      "click 1018\n"
      "click 1\n"
      "dump\n"
      "click 1\n",
      [&] { result = dialog.DoModal(); });
  EXPECT_EQ(result, kIdOk);
  EXPECT_EQ(dialog.nested_result_, kIdOk);
  EXPECT_THAT(dialog.members_, ElementsAre("ann", "Bob"));
  ASSERT_GE(transcript.size(), 4u);
  EXPECT_EQ(transcript[0], "dialog\t133\tGroup Properties");
  EXPECT_EQ(transcript[1], "dialog\t138\tGroup Membership");
  EXPECT_EQ(transcript[2], "end\t138\t1");
  EXPECT_THAT(transcript, ::testing::Contains("item\t1003\t0\t0\tann"));
  EXPECT_THAT(transcript, ::testing::Contains("item\t1003\t1\t0\tBob"));
  EXPECT_EQ(transcript.back(), "end\t133\t1");
}

TEST_P(BackendTest, ListsSortSelectMoveAndKeepItemData) {
  std::vector<int> selected;
  std::vector<intptr_t> data;
  Recording<ChooserDialog> dialog;
  dialog.members_ = {"delta", "Charlie", "Alpha", "bravo"};
  dialog.others_ = {"zed"};
  int step = 0;
  int result = 0;
  auto transcript = driver_->Run(
      [&](Dialog* d) -> std::optional<std::string> {
        if (d == nullptr) return std::nullopt;
        switch (step++) {
          case 0:
            return "select 1016 delta";
          case 1:
            return "select 1016 Alpha";
          case 2:
            selected = dialog.members_list_.GetSelItems();
            for (int i : selected) data.push_back(dialog.members_list_.GetItemData(i));
            return "select 1017 zed";
          case 3:
            return "dump";
          case 4:
            return "click 1018";
          case 5:
            return "dblclick 1016 zed";
          case 6:
            return "escape";
          default:
            return std::nullopt;
        }
      },
      [&] { result = dialog.DoModal(); });
  EXPECT_EQ(result, kIdCancel);
  EXPECT_THAT(selected, ElementsAre(0, 3));
  EXPECT_THAT(data, ElementsAre(102, 100));
  EXPECT_THAT(dialog.members_, ElementsAre("delta", "Charlie", "Alpha", "bravo", "zed"));
  EXPECT_THAT(transcript, ::testing::IsSupersetOf({
                              "item\t1016\t0\t0\tAlpha",
                              "item\t1016\t3\t0\tdelta",
                              "item\t1017\t0\t1\tzed",
                              "control\t1018\tbutton\t1\t-\t<- &Add",
                              "end\t138\t2",
                          }));
  EXPECT_THAT(dialog.log,
              ::testing::IsSupersetOf({"1016 setfocus", "1016 selchange", "1016 killfocus",
                                       "1017 setfocus", "1017 selchange", "1018 clicked",
                                       "1016 dblclick"}));
}

TEST_P(BackendTest, MessageBoxesAreAnsweredAsScriptedOrByDefault) {
  std::vector<int> answers;
  auto transcript = Run(
      "answer cancel\n"
      "answer yes\n"
      "answer no\n"
      "answer ok\n"
      "answer yes\n",
      [&] {
        answers.push_back(MessageBox(nullptr, "Are you sure?", "Clear Audit Log",
                                     kMbOkCancel | kMbIconExclamation));
        answers.push_back(MessageBox(nullptr, "Q", "C", kMbYesNo | kMbIconQuestion));
        answers.push_back(MessageBox(nullptr, "Q", "C", kMbYesNoCancel | kMbIconInformation));
        answers.push_back(MessageBox(nullptr, "line1\nline2", "C", kMbOk | kMbIconStop));
        answers.push_back(MessageBox(nullptr, "T", "C", kMbOk));
        answers.push_back(MessageBox(nullptr, "T", "", kMbOkCancel));
        answers.push_back(MessageBox(nullptr, "T", "C", kMbYesNo));
      });
  EXPECT_THAT(answers, ElementsAre(kIdCancel, kIdYes, kIdNo, kIdOk, kIdOk, kIdCancel, kIdNo));
  EXPECT_THAT(transcript,
              ElementsAre("msgbox\texclamation\tokcancel\tClear Audit Log\tAre you sure?\tcancel",
                          "msgbox\tquestion\tyesno\tC\tQ\tyes",
                          "msgbox\tinformation\tyesnocancel\tC\tQ\tno",
                          "msgbox\tstop\tok\tC\tline1\\nline2\tok",
                          "error\tanswer yes does not fit a ok box", "msgbox\tnone\tok\tC\tT\tok",
                          "msgbox\tnone\tokcancel\ttalmor.dll\tT\tcancel",
                          "msgbox\tnone\tyesno\tC\tT\tno"));
}

TEST_P(BackendTest, ActionsThatRunOutOrAWrongDialogCancel) {
  NameDialog first;
  NameDialog second;
  std::vector<int> results;
  auto transcript = Run(
      "dialog 130\n"
      "type 1000 someone\n"
      "dialog 999\n"
      "type 1000 never typed\n",
      [&] {
        results.push_back(first.DoModal());
        results.push_back(second.DoModal());
      });
  EXPECT_THAT(results, ElementsAre(kIdCancel, kIdCancel));
  EXPECT_EQ(first.name_, "");
  EXPECT_THAT(transcript, ElementsAre("dialog\t130\tQuorvane Login", "end\t130\t2",
                                      "dialog\t130\tQuorvane Login",
                                      "error\tdialog 999 expected, dialog 130 shown", "end\t130\t2"));
}

TEST_P(BackendTest, RadioButtonsFormTheTemplatesGroups) {
  Recording<RadioDialog> dialog;
  int result = 0;
  auto transcript = Run(
      "dialog 135\n"
      "type 1012 8\n"
      "click 1011\n"
      "type 1012 15\n"
      "uncheck 1010\n"
      "enter\n"
      "type 1012 8\n"
      "dump\n"
      "enter\n",
      [&] { result = dialog.DoModal(); });
  EXPECT_EQ(result, kIdOk);
  EXPECT_EQ(dialog.choice_, 1);
  EXPECT_EQ(dialog.min_, 8);
  EXPECT_THAT(transcript,
              ::testing::IsSupersetOf(
                  {"error\tcontrol 1012 is disabled", "error\tradio button 1010 cannot be unchecked",
                   "msgbox\texclamation\tok\ttalmor.dll\tPlease enter an integer between 1 and "
                   "14.\tok",
                   "control\t1010\tradio\t1\t0\tPermit &Blank Password",
                   "control\t1011\tradio\t1\t1\tAt &Least", "control\t1012\tedit\t1\t-\t8"}));
}

// The same actions give the same notifications, keys and scrolls on every backend.
TEST(BackendParity, NotificationsMatchTheHeadlessBackend) {
  if (UiBackendsUnderTest().size() < 2) GTEST_SKIP() << "qt cannot start here";
  const std::string script =
      "dialog 138\n"
      "select 1016 m3\n"
      "key 1016 Down\n"
      "key 1016 End\n"
      "key 1016 Home\n"
      "scroll 1016 linedown\n"
      "scroll 1016 endscroll\n"
      "select 1017 o1\n"
      "unselect 1017\n"
      "select 1017 o2\n"
      "select 1017 o3\n"
      "dblclick 1016 m1\n"
      "click 1019\n"
      "dump\n"
      "escape\n";
  std::vector<std::vector<std::string>> logs;
  std::vector<std::vector<std::string>> transcripts;
  for (const char* backend : {"headless", "qt"}) {
    Recording<ChooserDialog> dialog;
    for (int i = 0; i < 30; ++i) dialog.members_.push_back("m" + std::to_string(i));
    dialog.others_ = {"o1", "o2", "o3"};
    transcripts.push_back(
        MakeUiDriver(backend)->Run(ScriptActions(script), [&] { dialog.DoModal(); }));
    logs.push_back(dialog.log);
  }
  EXPECT_THAT(logs[1], ElementsAreArray(logs[0]));
  EXPECT_THAT(transcripts[1], ElementsAreArray(transcripts[0]));
  EXPECT_THAT(logs[0], ::testing::Contains("1016 key 2"));  // End
  EXPECT_THAT(logs[0], ::testing::Contains("1016 scroll 1"));
}

INSTANTIATE_TEST_SUITE_P(Backends, BackendTest, ::testing::Values("headless", "qt"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace talmor::testing
