// The dialog framework through an operator's actions, each scenario run once per backend: the
// transcript, the dialog's members and the notifications it received must be the same on all.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/ui_backends.h"
#include "ui/sample_dialogs.h"

namespace talmor::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsSupersetOf;

// A sample dialog that writes down every notification it receives.
template <class Base>
class Recording : public Base {
 public:
  using Base::Base;
  std::vector<std::string> log;

 protected:
  bool OnCommand(int id, Notify code) override {
    static const char* const kNames[] = {"clicked",  "change",    "selchange", "dblclick",
                                         "setfocus", "killfocus", "menu"};
    log.push_back(std::to_string(id) + " " + kNames[static_cast<int>(code)]);
    return Base::OnCommand(id, code);
  }
};

class DialogTest : public UiBackendTest {};

TEST_P(DialogTest, TypingIsCutToTheLimitsAndEnterTakesTheTexts) {
  Recording<NameDialog> dialog;
  dialog.name_ = "first";
  int result = 0;
  RunResult run = Run(Script("dialog 130\ntype 1000 ABCDEFGHIJKLMNOPQRSTU\n"
                             "type 1001 secret-password-too-long\ndump\nenter"),
                      [&] { result = dialog.DoModal(); });
  EXPECT_EQ(result, kIdOk);
  EXPECT_EQ(dialog.name_, "ABCDEFGHIJKLMNOP");
  EXPECT_EQ(dialog.password_, "secret-passwor");
  EXPECT_THAT(run.transcript, IsSupersetOf({"control\t1000\tedit\t1\t-\tABCDEFGHIJKLMNOP",
                                            "control\t1001\tedit\t1\t-\t**************"}));
  EXPECT_EQ(run.transcript.back(), "end\t130\t1");
  EXPECT_THAT(dialog.log, ElementsAre("1000 setfocus", "1000 change", "1000 killfocus",
                                      "1001 setfocus", "1001 change", "1 clicked"));
}

// Rows: the box, the operator's line (none: out of answers), the answer and the transcript.
TEST_P(DialogTest, MessageBoxesAreAnsweredAsScriptedOrByDefault) {
  struct Row {
    const char* caption;
    unsigned style;
    const char* line;
    int answer;
    std::vector<std::string> transcript;
  };
  const std::string ok_box = BoxLine("none", "ok", "C", "T");
  for (const Row& row : std::vector<Row>{
           {"Clear Audit Log", kMbOkCancel | kMbIconExclamation, "answer cancel", kIdCancel,
            {BoxLine("exclamation", "okcancel", "Clear Audit Log", "T", "cancel")}},
           {"C", kMbYesNo | kMbIconQuestion, "answer yes", kIdYes,
            {BoxLine("question", "yesno", "C", "T", "yes")}},
           {"C", kMbYesNoCancel | kMbIconInformation, "answer no", kIdNo,
            {BoxLine("information", "yesnocancel", "C", "T", "no")}},
           {"C", kMbOk | kMbIconStop, "answer ok", kIdOk, {BoxLine("stop", "ok", "C", "T")}},
           {"C", kMbOk, "answer yes", kIdOk, {"error\tanswer yes does not fit a ok box", ok_box}},
           {"", kMbOk, "", kIdOk, {BoxLine("none", "ok", "talmor.dll", "T")}},
           {"C", kMbYesNoCancel, "", kIdCancel,
            {BoxLine("none", "yesnocancel", "C", "T", "cancel")}}}) {
    SCOPED_TRACE(row.line);
    int answer = 0;
    RunResult run = Run(Script(row.line), [&] { answer = MessageBox(nullptr, "T", row.caption, row.style); });
    EXPECT_EQ(answer, row.answer);
    EXPECT_EQ(run.transcript, row.transcript);
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, DialogTest, UiBackendRows(), UiBackendName);

}  // namespace
}  // namespace talmor::testing
