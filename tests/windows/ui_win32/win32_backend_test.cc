// What only native windows can show (the shared scenarios cover the rest per backend): typing,
// focus and clicks of real controls reach the dialog code; message boxes answer with the button
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
