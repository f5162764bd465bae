#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "support/temp_dir.h"
#include "ui/backend.h"
#include "ui/headless_backend.h"
#include "ui/list_model.h"
#include "ui/sample_dialogs.h"

namespace talmor::testing {
namespace {

using ::testing::ElementsAre;

TEST(WindowTest, TemporaryWindowsLastUntilIdleAndModuleStateSwitches) {
  ModuleState module("talmor.dll");
  ModuleState other("host");
  EXPECT_EQ(Window::FromHandle(nullptr), nullptr);
  {
    ModuleStateGuard guard(module);
    EXPECT_EQ(&CurrentModuleState(), &module);
    auto* handle = reinterpret_cast<WindowHandle>(uintptr_t{0x1234});
    Window* w = Window::FromHandle(handle);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->handle(), handle);
    EXPECT_EQ(Window::FromHandle(handle), w);  // the same temporary until idle
    {
      ModuleStateGuard inner(other);
      EXPECT_EQ(&CurrentModuleState(), &other);
      EXPECT_EQ(other.temporary_count(), 0u);
    }
    EXPECT_EQ(&CurrentModuleState(), &module);
    EXPECT_EQ(module.temporary_count(), 1u);
    int count = 0;
    while (module.OnIdle(count)) ++count;
    EXPECT_EQ(count, 1);
    EXPECT_EQ(module.temporary_count(), 0u);
  }
  EXPECT_NE(&CurrentModuleState(), &module);
}

// Records what the dialog saw of its own handle and of its owner while open.
class HandleDialog : public NameDialog {
 public:
  using NameDialog::NameDialog;
  Window* from_handle_ = nullptr;
  WindowHandle handle_seen_ = nullptr;
  std::string caption_seen_;

 protected:
  bool OnInitDialog() override {
    handle_seen_ = handle();
    from_handle_ = Window::FromHandle(handle());
    return NameDialog::OnInitDialog();
  }
};

TEST(WindowTest, AnOpenDialogAnswersForItsHandle) {
  ScopedEnv ui("TALMOR_UI", "headless");
  ScriptOperator op("");
  ScopedOperator scoped(op);
  ModuleState module;
  ModuleStateGuard guard(module);
  Window* owner = Window::FromHandle(reinterpret_cast<WindowHandle>(uintptr_t{0x99}));
  HandleDialog dialog(owner);
  EXPECT_EQ(dialog.DoModal(), kIdCancel);
  EXPECT_NE(dialog.handle_seen_, nullptr);
  EXPECT_EQ(dialog.from_handle_, &dialog);
  EXPECT_EQ(dialog.handle(), nullptr);  // the window has gone
  EXPECT_EQ(dialog.GetOwner(), owner);
  EXPECT_EQ(dialog.Item(logon_ids::kUserName), nullptr);
}

TEST(BackendTest, SelectionFallsBackToHeadless) {
  {
    ScopedEnv ui("TALMOR_UI", "no-such-toolkit");
    EXPECT_STREQ(ActiveBackend().Name(), "headless");
  }
  {
    ScopedEnv ui("TALMOR_UI", "");
    EXPECT_STREQ(ActiveBackend().Name(), "headless");
  }
  EXPECT_EQ(RegisteredBackends().front(), "headless");
  HeadlessBackend backend;
  EXPECT_EQ(backend.TextWidth("abcd"), 24);
  EXPECT_EQ(backend.DialogBaseUnits(), (Size{8, 16}));
  Rect r = MapDialogRect({5, 15, 315, 180}, backend.DialogBaseUnits());
  EXPECT_EQ(r, (Rect{10, 30, 640, 390}));
}

TEST(ListModelTest, SingleSelectionFollowsInsertionsAndDeletions) {
  ListModel list(false, false);
  EXPECT_EQ(list.GetCurSel(), kListError);
  EXPECT_EQ(list.Add("b"), 0);
  EXPECT_EQ(list.Add("a"), 1);  // unsorted: appended
  EXPECT_EQ(list.Insert(0, "c"), 0);
  EXPECT_EQ(list.Insert(5, "x"), kListError);
  EXPECT_EQ(list.SetCurSel(2), 2);
  EXPECT_EQ(list.Insert(0, "d"), 0);
  EXPECT_EQ(list.GetCurSel(), 3);
  EXPECT_EQ(list.Delete(3), 3);
  EXPECT_EQ(list.GetCurSel(), kListError);
  EXPECT_EQ(list.SetSel(0, true), kListError);  // single selection
  EXPECT_EQ(list.GetSelCount(), kListError);
  EXPECT_EQ(list.FindStringExact(-1, "B"), 2);
  EXPECT_EQ(list.FindStringExact(2, "d"), 0);  // wraps
  EXPECT_EQ(list.FindStringExact(-1, "zz"), kListError);
  EXPECT_EQ(list.GetData(7), kListError);
  EXPECT_EQ(list.Delete(7), kListError);
}

TEST(ListModelTest, ExtendedSelectionAndSortedInsertion) {
  ListModel list(true, true);
  for (const char* s : {"pear", "Apple", "fig", "apple"}) list.Add(s);
  std::string text;
  std::vector<std::string> order;
  for (int i = 0; i < list.Count(); ++i) {
    list.Text(i, &text);
    order.push_back(text);
  }
  EXPECT_THAT(order, ElementsAre("Apple", "apple", "fig", "pear"));
  EXPECT_EQ(list.SetSel(1, true), 0);
  EXPECT_EQ(list.SetSel(3, true), 0);
  EXPECT_THAT(list.GetSelItems(), ElementsAre(1, 3));
  EXPECT_EQ(list.GetCurSel(), 3);  // the caret
  EXPECT_EQ(list.Delete(0), 3);
  EXPECT_THAT(list.GetSelItems(), ElementsAre(0, 2));
  EXPECT_EQ(list.SetSel(-1, false), 0);
  EXPECT_EQ(list.GetSelCount(), 0);
  EXPECT_EQ(list.SetCurSel(0), kListError);
}

// The audit log viewer's needs: tab stops, extent, key and scroll hooks before the list moves.
class ScrollDialog : public Dialog {
 public:
  ScrollDialog() : Dialog(kIddAuditLogViewer) {}
  std::vector<std::string> events_;
  ScrollInfo at_bottom_;
  int size_cx_ = 0;
  bool newest_checked_ = false;

 protected:
  bool OnInitDialog() override {
    Dialog::OnInitDialog();
    Control* list = Item(audit_log_viewer_ids::kList);
    list->SetTabStops({55, 110, 205});
    list->SetHorizontalExtent(1200);
    for (int i = 0; i < 50; ++i)
      list->SetItemData(list->AddString("event " + std::to_string(i)), i);
    CheckMenuItem(kIdmOldestFirst, true);
    return true;
  }
  void OnControlKey(int id, Key key) override {
    events_.push_back("key " + std::to_string(id) + " " + std::to_string(static_cast<int>(key)) +
                      " sel " + std::to_string(Item(id)->GetCurSel()));
  }
  void OnControlScroll(int id, ScrollCode code) override {
    ScrollInfo info = Item(id)->GetVerticalScroll();
    events_.push_back("scroll " + std::to_string(static_cast<int>(code)) + " pos " +
                      std::to_string(info.pos) + " max " + std::to_string(info.max));
    if (code == ScrollCode::kBottom) at_bottom_ = info;
  }
  void OnSize(int cx, int) override { size_cx_ = cx; }
  bool OnCommand(int id, Notify code) override {
    if (code == Notify::kMenu && id == kIdmNewestFirst) {
      CheckMenuItem(kIdmNewestFirst, true);
      CheckMenuItem(kIdmOldestFirst, false);
      newest_checked_ = IsMenuItemChecked(kIdmNewestFirst) == 1;
      return true;
    }
    if (code == Notify::kDoubleClick) {
      events_.push_back("dblclick " + std::to_string(Item(id)->GetItemData(Item(id)->GetCurSel())));
      return true;
    }
    return Dialog::OnCommand(id, code);
  }
};

TEST(HeadlessListTest, KeysScrollsMenusAndResizing) {
  ScopedEnv ui("TALMOR_UI", "headless");
  ScriptOperator op(
      "dialog 137\n"
      "key 1000 Down\n"
      "key 1000 End\n"
      "scroll 1000 top\n"
      "scroll 1000 linedown\n"
      "menu 32774\n"
      "menu 4242\n"
      "dblclick 1000 event 7\n"
      "resize 800 600\n"
      "menu 1\n");
  ScopedOperator scoped(op);
  ScrollDialog dialog;
  EXPECT_EQ(dialog.DoModal(), kIdOk);
  // 50 entries, 22 rows of 16 pixels in 360: the top index runs from 0 to 28.
  EXPECT_THAT(dialog.events_,
              ElementsAre("key 1000 0 sel -1", "key 1000 2 sel 0", "scroll 4 pos 28 max 49",
                          "scroll 1 pos 0 max 49", "dblclick 7"));
  EXPECT_TRUE(dialog.newest_checked_);
  EXPECT_EQ(dialog.size_cx_, 800);
  EXPECT_THAT(op.transcript(), ::testing::Contains("error\tno menu item 4242 in dialog 137"));
  EXPECT_EQ(op.transcript().back(), "end\t137\t1");
}

}  // namespace
}  // namespace talmor::testing

namespace talmor::testing {
namespace {

class EndsAtOnce : public Dialog {
 public:
  EndsAtOnce() : Dialog(kIddEventDetail) {}

 protected:
  bool OnInitDialog() override {
    EndDialog(42);
    return true;
  }
};

class RefusesCancel : public Dialog {
 public:
  RefusesCancel() : Dialog(kIddEventDetail) {}
  int cancels_ = 0;

 protected:
  void OnCancel() override { ++cancels_; }
};

TEST(DialogLifecycleTest, MissingTemplatesEarlyEndsAndStubbornDialogs) {
  ScopedEnv ui("TALMOR_UI", "headless");
  ScriptOperator op("dialog 132\n");
  ScopedOperator scoped(op);
  Dialog missing(4711);
  EXPECT_EQ(missing.DoModal(), -1);
  EndsAtOnce early;
  EXPECT_EQ(early.DoModal(), 42);
  EXPECT_TRUE(op.transcript().empty());  // never shown: the `dialog` line is still there
  EXPECT_EQ(op.remaining(), 1u);
  RefusesCancel stubborn;
  EXPECT_EQ(stubborn.DoModal(), kIdCancel);  // out of actions: closed even so
  EXPECT_EQ(stubborn.cancels_, 1);
  EXPECT_THAT(op.transcript(), ElementsAre("dialog\t132\tEvent Detail", "end\t132\t2"));
}

TEST(DialogLifecycleTest, UnreadableScriptIsReported) {
  TempDir dir;
  ScopedEnv ui("TALMOR_UI", "headless");
  ScopedEnv script("TALMOR_UI_SCRIPT", dir.File("missing.txt"));
  ScopedEnv transcript("TALMOR_UI_TRANSCRIPT", dir.File("t.txt"));
  EndsAtOnce early;
  RefusesCancel dialog;
  EXPECT_EQ(dialog.DoModal(), kIdCancel);
  std::ifstream in(dir.File("t.txt"));
  std::string line;
  std::vector<std::string> lines;
  while (std::getline(in, line)) lines.push_back(line);
  EXPECT_THAT(lines, ElementsAre("error\tcannot read script " + dir.File("missing.txt"),
                                 "dialog\t132\tEvent Detail", "end\t132\t2"));
}

}  // namespace
}  // namespace talmor::testing
