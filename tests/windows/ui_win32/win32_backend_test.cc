// What only native windows can show (the shared scenarios cover the rest per backend): typing,
// focus and clicks of real controls reach the dialog code; the viewer's list forwards keys and
// scroll actions before it moves; menu marks and grey items; message boxes answer with the button
// pressed. The user's actions are performed on this thread
// from a thread timer that the dialogs' modal loops dispatch, one step per tick.

#include "ui/win32/win32_backend.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "ui/backend.h"
#include "ui/control.h"
#include "ui/data_exchange.h"
#include "ui/dialog.h"
#include "ui/message_box.h"
#include "ui/sample_dialogs.h"

namespace talmor {
namespace {

// --- the steps of a scenario, run from the modal loops ----------------------------------------

// A step answers true when it is done; false retries it at the next tick (the window it needs is
// not there yet). After too many ticks the scenario fails and every dialog of the thread is
// cancelled, so that a fault never leaves a modal loop running.
using Step = std::function<bool()>;

struct StepRunner {
  std::vector<Step> steps;
  size_t next = 0;
  int ticks = 0;
  bool gave_up = false;
};
StepRunner* g_runner = nullptr;
constexpr int kMaxTicks = 400;

BOOL CALLBACK CancelWindow(HWND hwnd, LPARAM) {
  char name[16] = "";
  ::GetClassNameA(hwnd, name, sizeof name);
  if (::IsWindowVisible(hwnd) && std::string(name) == "#32770") {
    ::PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ::PostMessageA(hwnd, WM_CLOSE, 0, 0);
  }
  return TRUE;
}

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
  StepRunner* r = g_runner;
  if (r == nullptr) return;
  if (++r->ticks > kMaxTicks) {
    r->gave_up = true;
    ::EnumThreadWindows(::GetCurrentThreadId(), &CancelWindow, 0);
    return;
  }
  // One user action per tick: its effects (posted messages) come first.
  if (r->next < r->steps.size() && r->steps[r->next]()) ++r->next;
}

// Runs `body` (which opens dialogs) while the steps run; fails the test if they did not all run.
void RunSteps(std::vector<Step> steps, const std::function<void()>& body) {
  StepRunner runner;
  runner.steps = std::move(steps);
  g_runner = &runner;
  const UINT_PTR timer = ::SetTimer(nullptr, 0, 25, &Tick);
  body();
  ::KillTimer(nullptr, timer);
  g_runner = nullptr;
  EXPECT_FALSE(runner.gave_up) << "step " << runner.next << " never went through";
  EXPECT_EQ(runner.next, runner.steps.size());
}

// The visible dialog window with this caption, null when there is none (yet).
HWND FindDialog(const std::string& caption) {
  HWND hwnd = ::FindWindowA("#32770", caption.c_str());
  return hwnd != nullptr && ::IsWindowVisible(hwnd) ? hwnd : nullptr;
}

std::string TextOf(HWND hwnd) {
  char text[512] = "";
  ::GetWindowTextA(hwnd, text, sizeof text);
  return text;
}

class Win32BackendTest : public ::testing::Test {
 protected:
  Win32Backend backend_;
  ScopedBackend use_{backend_};
};

// --- dialogs of the tests ---------------------------------------------------------------------

// The log-on template with limited edits, a preset name, and a count of the user's changes.
class LogonLike : public talmor::testing::NameDialog {
 public:
  LogonLike() { name_ = "preset"; }
  int name_changes_ = 0;
  std::vector<int> focus_gained_;

 protected:
  bool OnCommand(int id, Notify code) override {
    if (id == logon_ids::kUserName && code == Notify::kChange) ++name_changes_;
    if (code == Notify::kSetFocus) focus_gained_.push_back(id);
    return Dialog::OnCommand(id, code);
  }
};

// The viewer's template: a long list, the menu's order items, and what reached the dialog.
class ViewerLike : public Dialog {
 public:
  ViewerLike() : Dialog(kIddAuditLogViewer) {}
  static constexpr int kNewest = 32774;
  static constexpr int kOldest = 32775;
  static constexpr int kDetail = 32773;
  std::vector<int> menu_;
  std::vector<Key> keys_;
  std::vector<ScrollCode> scrolls_;
  // The count of entries the native list had when the dialog saw End.
  int rows_at_end_key_ = -1;

  Control& List() { return *Item(audit_log_viewer_ids::kList); }
  void AddRows(int from, int count) {
    for (int i = from; i < from + count; ++i) {
      List().AddString("row " + std::to_string(i) + "\tuser\tsource");
    }
  }

 protected:
  bool OnInitDialog() override {
    Dialog::OnInitDialog();
    AddRows(0, 100);
    // A list without a selection takes the first key for selecting its caret's entry.
    List().SetCurSel(0);
    CheckMenuItem(kNewest, true);
    CheckMenuItem(kOldest, false);
    EnableMenuItem(kDetail, false);
    return true;
  }
  bool OnCommand(int id, Notify code) override {
    if (code == Notify::kMenu) {
      menu_.push_back(id);
      if (id == kOldest || id == kNewest) {
        CheckMenuItem(kNewest, id == kNewest);
        CheckMenuItem(kOldest, id == kOldest);
        return true;
      }
    }
    return Dialog::OnCommand(id, code);
  }
  // As the viewer does: End loads the rest before the list moves to its last entry.
  void OnControlKey(int id, Key key) override {
    keys_.push_back(key);
    if (id == audit_log_viewer_ids::kList && key == Key::kEnd) {
      rows_at_end_key_ = static_cast<int>(
          ::SendMessageA(::GetDlgItem(static_cast<HWND>(handle()), id), LB_GETCOUNT, 0, 0));
      AddRows(100, 20);
    }
  }
  void OnControlScroll(int, ScrollCode code) override { scrolls_.push_back(code); }
};

// --- scenarios --------------------------------------------------------------------------------

TEST(Win32BackendSelection, IsTheNativeBackendWhenNoneIsAsked) {
  _putenv("TALMOR_UI=");  // removes it
  const std::vector<std::string> names = RegisteredBackends();
  EXPECT_NE(std::find(names.begin(), names.end(), "win32"), names.end());
  EXPECT_STREQ(ActiveBackend().Name(), "win32");
}

TEST_F(Win32BackendTest, LogonTemplateIsANativeDialogThatTypingAndOkReach) {
  LogonLike dialog;
  int result = -1;
  HWND hwnd = nullptr;
  RunSteps({
               [&] { return (hwnd = FindDialog("Quorvane Login")) != nullptr; },
               [&] {
                 HWND name = ::GetDlgItem(hwnd, logon_ids::kUserName);
                 EXPECT_EQ(::SendMessageA(name, EM_GETLIMITTEXT, 0, 0), 16);
                 // The members came in by the program, which is no change of the user's.
                 EXPECT_EQ(TextOf(name), "preset");
                 EXPECT_EQ(dialog.name_changes_, 0);
                 return true;
               },
               [&] {
                 // The user clicks into the name box, selects all and types three characters.
                 HWND name = ::GetDlgItem(hwnd, logon_ids::kUserName);
                 ::SetFocus(name);
                 ::SendMessageA(name, EM_SETSEL, 0, -1);
                 for (char c : std::string("ann")) ::SendMessageA(name, WM_CHAR, c, 1);
                 EXPECT_EQ(dialog.GetFocusId(), logon_ids::kUserName);
                 EXPECT_EQ(dialog.name_changes_, 3);
                 ::SetFocus(::GetDlgItem(hwnd, logon_ids::kPassword));
                 for (char c : std::string("0123456789abcdefgh")) {
                   ::SendMessageA(::GetDlgItem(hwnd, logon_ids::kPassword), WM_CHAR, c, 1);
                 }
                 EXPECT_EQ(dialog.GetFocusId(), logon_ids::kPassword);
                 return true;
               },
               [&] {
                 ::SendMessageA(::GetDlgItem(hwnd, IDOK), BM_CLICK, 0, 0);
                 return true;
               },
           },
           [&] { result = dialog.DoModal(); });
  EXPECT_EQ(result, kIdOk);
  EXPECT_EQ(dialog.name_, "ann");
  EXPECT_EQ(dialog.password_, "0123456789abcd") << "the box stops at 14 characters";
  EXPECT_FALSE(::IsWindow(hwnd)) << "the window goes with the dialog";
  // Focus notifications reached the dialog as the native focus moved.
  EXPECT_NE(
      std::find(dialog.focus_gained_.begin(), dialog.focus_gained_.end(), logon_ids::kPassword),
      dialog.focus_gained_.end());
}

TEST_F(Win32BackendTest, ViewerMenuListKeysAndScrollReachTheDialog) {
  ViewerLike dialog;
  int result = -1;
  HWND hwnd = nullptr;
  HWND list = nullptr;
  auto menu_checked = [&](UINT id) {
    return (::GetMenuState(::GetMenu(hwnd), id, MF_BYCOMMAND) & MF_CHECKED) != 0;
  };
  RunSteps(
      {
          [&] {
            hwnd = FindDialog("Audit Log Viewer");
            if (hwnd == nullptr) return false;
            list = ::GetDlgItem(hwnd, audit_log_viewer_ids::kList);
            // The entries reach the native list once, after the dialog filled its model.
            return ::SendMessageA(list, LB_GETCOUNT, 0, 0) == 100;
          },
          [&] {
            // Menu items as the menu sends them; a grey one does not reach the dialog.
            ::SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(ViewerLike::kOldest, 0), 0);
            ::SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(ViewerLike::kDetail, 0), 0);
            EXPECT_EQ(dialog.menu_, std::vector<int>{ViewerLike::kOldest});
            EXPECT_TRUE(menu_checked(ViewerLike::kOldest));  // the dialog's marks reach the menu
            EXPECT_FALSE(menu_checked(ViewerLike::kNewest));
            return true;
          },
          [&] {
            // End: the dialog sees it first and adds entries; the list then moves to the last
            // of them, and the dialog's model follows the selection.
            ::SetFocus(list);
            ::SendMessageA(list, WM_KEYDOWN, VK_END, 1);
            EXPECT_EQ(dialog.rows_at_end_key_, 100);
            EXPECT_EQ(::SendMessageA(list, LB_GETCOUNT, 0, 0), 120);
            EXPECT_EQ(::SendMessageA(list, LB_GETCURSEL, 0, 0), 119);
            EXPECT_EQ(dialog.List().GetCurSel(), 119);
            EXPECT_GT(dialog.List().GetTopIndex(), 0);
            ::SendMessageA(list, WM_KEYDOWN, VK_LEFT, 1);
            ::SendMessageA(list, WM_KEYDOWN, 'A', 1);  // no navigation key: not forwarded
            EXPECT_EQ(dialog.keys_, (std::vector<Key>{Key::kEnd, Key::kLeft}));
            return true;
          },
          [&] {
            // Scroll actions reach the dialog before the list scrolls; thumb tracking does not.
            const int top = static_cast<int>(::SendMessageA(list, LB_GETTOPINDEX, 0, 0));
            ::SendMessageA(list, WM_VSCROLL, MAKEWPARAM(SB_LINEUP, 0), 0);
            ::SendMessageA(list, WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, 3), 0);
            ::SendMessageA(list, WM_VSCROLL, MAKEWPARAM(SB_TOP, 0), 0);
            EXPECT_EQ(dialog.scrolls_,
                      (std::vector<ScrollCode>{ScrollCode::kLineUp, ScrollCode::kTop}));
            EXPECT_LT(top, 120);
            EXPECT_EQ(::SendMessageA(list, LB_GETTOPINDEX, 0, 0), 0);
            EXPECT_EQ(dialog.List().GetTopIndex(), 0) << "the model follows the user's scrolling";
            return true;
          },
          [&] {
            ::SendMessageA(hwnd, WM_CLOSE, 0, 0);
            return true;
          },
      },
      [&] { result = dialog.DoModal(); });
  EXPECT_EQ(result, kIdCancel) << "the close box cancels";
}

TEST_F(Win32BackendTest, MessageBoxesAnswerWithThePressedButton) {
  int answer = -1;
  HWND box = nullptr;
  RunSteps({
               [&] { return (box = FindDialog("Box Test")) != nullptr; },
               [&] {
                 EXPECT_NE(::GetDlgItem(box, IDYES), nullptr);
                 EXPECT_NE(::GetDlgItem(box, IDNO), nullptr);
                 EXPECT_EQ(::GetDlgItem(box, IDOK), nullptr);
                 ::SendMessageA(::GetDlgItem(box, IDNO), BM_CLICK, 0, 0);
                 return true;
               },
           },
           [&] {
             answer = backend_.ShowMessageBox(nullptr, "Remove the entry?", "Box Test",
                                              kMbYesNo | kMbIconQuestion);
           });
  EXPECT_EQ(answer, kIdNo);

}

}  // namespace
}  // namespace talmor
