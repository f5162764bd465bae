// The dialog framework through an operator's actions, each scenario run once per backend: the
// transcript, the dialog's members and the notifications it received must be the same on all.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/ui_backends.h"
#include "ui/sample_dialogs.h"

namespace talmor::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsSupersetOf;

// A sample dialog that writes down every notification, key, scroll and size it receives.
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
  void OnControlKey(int id, Key key) override {
    log.push_back(std::to_string(id) + " key " + std::to_string(static_cast<int>(key)) + " sel " +
                  std::to_string(this->Item(id)->GetCurSel()));
  }
  void OnControlScroll(int id, ScrollCode code) override {
    log.push_back(std::to_string(id) + " scroll " + std::to_string(static_cast<int>(code)));
  }
  void OnSize(int cx, int cy) override {
    log.push_back("size " + std::to_string(cx) + "x" + std::to_string(cy));
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
           {"C", kMbOkCancel, "", kIdCancel, {BoxLine("none", "okcancel", "C", "T", "cancel")}},
           {"C", kMbYesNo, "", kIdNo, {BoxLine("none", "yesno", "C", "T", "no")}},
           {"C", kMbYesNoCancel, "", kIdCancel,
            {BoxLine("none", "yesnocancel", "C", "T", "cancel")}}}) {
    SCOPED_TRACE(row.line);
    int answer = 0;
    RunResult run = Run(Script(row.line), [&] { answer = MessageBox(nullptr, "T", row.caption, row.style); });
    EXPECT_EQ(answer, row.answer);
    EXPECT_EQ(run.transcript, row.transcript);
  }
  // A text over lines is written escaped.
  RunResult run = Run({}, [&] { MessageBox(nullptr, "line1\nline2", "C", kMbOk); });
  EXPECT_THAT(run.transcript, ElementsAre(BoxLine("none", "ok", "C", "line1\nline2")));
}

// The viewer's template: a long list's keys and scrolls reach the dialog before the list moves,
// menu marks are the dialog's to change, a grey item is not chosen, resizing is reported.
TEST_P(DialogTest, ViewerListKeysScrollsMenusAndResizing) {
  Recording<Dialog> viewer(kIddAuditLogViewer);
  int newest_after_menu = -1, top_after_page = -1, top_at_bottom = -1;
  ScrollInfo scroll;
  RunResult run =
      Run(Steps({Steps(Probe([&](Dialog& d) {
                   for (int i = 0; i < 200; ++i)
                     d.Item(1000)->AddString("entry\t" + std::to_string(i));
                   EXPECT_TRUE(d.Item(1000)->SetTabStops({40, 80}));
                   EXPECT_EQ(d.IsMenuItemChecked(kIdmNewestFirst), 0);
                   EXPECT_EQ(d.IsMenuItemChecked(12345), -1);
                   d.EnableMenuItem(kIdmRefresh, false);
                 })),
                 Script("menu 32774\nmenu 32771\nmenu 4242"), Steps(Probe([&](Dialog& d) {
                   newest_after_menu = d.IsMenuItemChecked(kIdmNewestFirst);
                   d.CheckMenuItem(kIdmOldestFirst, true);
                   EXPECT_EQ(d.IsMenuItemChecked(kIdmOldestFirst), 1);
                 })),
                 Script("key 1000 Down\nkey 1000 End\nscroll 1000 top\nscroll 1000 pagedown"),
                 Steps(Probe([&](Dialog& d) { top_after_page = d.Item(1000)->GetTopIndex(); })),
                 Script("scroll 1000 bottom"), Steps(Probe([&](Dialog& d) {
                   top_at_bottom = d.Item(1000)->GetTopIndex();
                   scroll = d.Item(1000)->GetVerticalScroll();
                 })),
                 Script("resize 800 600\nescape")}),
          [&] { viewer.DoModal(); });
  EXPECT_EQ(newest_after_menu, 0);  // the mark did not move by itself
  EXPECT_THAT(run.transcript, IsSupersetOf({"error\tmenu item 32771 is disabled",
                                            "error\tno menu item 4242 in dialog 137"}));
  EXPECT_THAT(viewer.log, Contains("32774 menu"));
  EXPECT_THAT(viewer.log, ::testing::Not(Contains("32771 menu")));
  // Keys are seen before the list moves: Down with nothing selected, End on the first entry.
  EXPECT_THAT(viewer.log, IsSupersetOf({"1000 key 0 sel -1", "1000 key 2 sel 0", "1000 scroll 4",
                                        "1000 scroll 3", "1000 scroll 5", "size 800x600"}));
  EXPECT_GT(top_after_page, 0);
  EXPECT_EQ(scroll.max, 199);
  ASSERT_GT(scroll.page, 0);
  EXPECT_EQ(top_at_bottom, 200 - scroll.page);  // the top index stops at the last full page
}

INSTANTIATE_TEST_SUITE_P(Backends, DialogTest, UiBackendRows(), UiBackendName);

}  // namespace
}  // namespace talmor::testing
