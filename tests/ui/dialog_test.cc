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
using ::testing::ElementsAreArray;
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

TEST_P(DialogTest, ListsSortSelectMoveAndKeepItemData) {
  Recording<ChooserDialog> dialog;
  dialog.members_ = {"delta", "Charlie", "Alpha", "bravo"};
  dialog.others_ = {"zed"};
  std::vector<int> selected;
  std::vector<intptr_t> data;
  bool add_before = true, add_after = false;
  int members_selected = -1;
  int result = 0;
  RunResult run =
      Run(Steps({Steps(Probe([&](Dialog& d) { add_before = d.Item(1018)->IsWindowEnabled(); })),
                 Script("select 1016 delta\nselect 1016 Alpha"), Steps(Probe([&](Dialog&) {
                   selected = dialog.members_list_.GetSelItems();
                   for (int i : selected) data.push_back(dialog.members_list_.GetItemData(i));
                 })),
                 Script("select 1017 zed"),  // the focus moves: the members' selection goes
                 Steps(Probe([&](Dialog& d) {
                   add_after = d.Item(1018)->IsWindowEnabled();
                   members_selected = dialog.members_list_.GetSelCount();
                 })),
                 Script("dump\nclick 1018\ndblclick 1016 zed\nescape")}),
          [&] { result = dialog.DoModal(); });
  EXPECT_EQ(result, kIdCancel);
  EXPECT_FALSE(add_before);
  EXPECT_TRUE(add_after);
  EXPECT_EQ(members_selected, 0);
  EXPECT_THAT(selected, ElementsAre(0, 3));  // sorted ignoring case: Alpha, bravo, Charlie, delta
  EXPECT_THAT(data, ElementsAre(102, 100));
  EXPECT_THAT(dialog.members_, ElementsAre("delta", "Charlie", "Alpha", "bravo", "zed"));
  EXPECT_FALSE(dialog.members_list_.attached());
  EXPECT_EQ(dialog.members_list_.GetCount(), kListError);
  EXPECT_THAT(run.transcript,
              IsSupersetOf({"item\t1016\t0\t0\tAlpha", "item\t1016\t1\t0\tbravo",
                            "item\t1016\t3\t0\tdelta", "item\t1017\t0\t1\tzed", "end\t138\t2"}));
  EXPECT_THAT(dialog.log,
              IsSupersetOf({"1016 setfocus", "1016 selchange", "1016 killfocus", "1017 setfocus",
                            "1017 selchange", "1018 clicked", "1016 dblclick"}));
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

// The same actions give the same notifications, keys, scrolls and transcript on every backend.
TEST(BackendParity, NotificationsAndTranscriptsMatchTheHeadlessBackend) {
  if (UiBackendsUnderTest().size() < 2) GTEST_SKIP() << "qt cannot start here";
  std::vector<std::vector<std::string>> logs, transcripts;
  for (const char* backend : {"headless", "qt"}) {
    Recording<ChooserDialog> dialog;
    for (int i = 0; i < 30; ++i) dialog.members_.push_back("m" + std::to_string(i));
    dialog.others_ = {"o1", "o2", "o3"};
    transcripts.push_back(MakeUiDriver(backend)
                              ->Run(Script("dialog 138\nselect 1016 m3\nkey 1016 Down\n"
                                           "key 1016 End\nkey 1016 Home\nscroll 1016 linedown\n"
                                           "scroll 1016 endscroll\nselect 1017 o1\nunselect 1017\n"
                                           "select 1017 o2\nselect 1017 o3\ndblclick 1016 m1\n"
                                           "click 1019\ndump\nescape"),
                                    [&] { dialog.DoModal(); })
                              .transcript);
    logs.push_back(dialog.log);
  }
  EXPECT_THAT(logs[1], ElementsAreArray(logs[0]));
  EXPECT_THAT(transcripts[1], ElementsAreArray(transcripts[0]));
  EXPECT_THAT(logs[0], IsSupersetOf({"1016 key 2 sel 24", "1016 scroll 1"}));
}

}  // namespace
}  // namespace talmor::testing
