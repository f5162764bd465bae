// Drives the library's dialogs from a second thread as a user would: finds a dialog window of
// the thread that runs the export by its caption, types into its edits character by character,
// presses its buttons and keys, and reads its controls back. Every wait has a deadline; when
// the scenario fails or runs out of time, the driver cancels whatever dialog is open until the
// export has returned, so that a run never hangs on a dialog.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace win_host {

class DialogDriver {
 public:
  DialogDriver(DWORD ui_thread, DWORD deadline_ms);

  // A visible dialog of the UI thread with this caption that has a control `control_id`
  // (a message box: `control_id` 0, a dialog with that caption and no control 1000).
  HWND WaitForDialog(const char* caption, int control_id);
  HWND WaitForMessageBox(const char* caption, HWND other_than);
  // Waits until `hwnd` is gone or hidden.
  bool WaitUntilClosed(HWND hwnd);
  // Waits until `condition` holds (asked every 20 ms); false when the deadline came first.
  bool WaitUntil(const std::function<bool()>& condition);

  // Replaces the text of edit `id` by typing `text` (the edit's own limit applies).
  bool Type(HWND dialog, int id, const std::string& text);
  // Clicks button `id` as its notification to the dialog.
  void Press(HWND dialog, int id);
  // A key press on control `id` (through the dialog's message loop and its navigation).
  void Key(HWND dialog, int id, WPARAM virtual_key);
  // Chooses item `id` of the dialog's menu bar as a click on it would: false (and nothing
  // sent) when the menu has no such item or it is greyed.
  bool Menu(HWND dialog, int id);
  // MF_CHECKED of item `id` of the dialog's menu bar: 1 or 0, -1 when there is no such item.
  int MenuChecked(HWND dialog, int id) const;
  // The text of item `id` of the dialog's menu bar ("" when there is none).
  std::string MenuText(HWND dialog, int id) const;
  // A left click (or double click) in the middle of line `index` of list box `id`; false
  // when the line is not there.
  bool ClickListItem(HWND dialog, int id, int index, bool double_click = false);
  // The selected line of list box `id` (LB_GETCURSEL).
  int ListSelection(HWND dialog, int id) const;

  std::string Text(HWND window) const;
  std::string ControlText(HWND dialog, int id) const { return Text(::GetDlgItem(dialog, id)); }
  // The texts of a message box's labels, joined by newlines.
  std::string StaticTexts(HWND dialog) const;
  std::vector<std::string> ListItems(HWND dialog, int id) const;
  bool Enabled(HWND dialog, int id) const { return ::IsWindowEnabled(::GetDlgItem(dialog, id)); }
  // The control with the UI thread's keyboard focus.
  HWND Focus() const;

  // Posts Cancel to every dialog of the UI thread.
  void CancelAll();
  bool TimedOut() const { return ::GetTickCount() >= deadline_; }

 private:
  DWORD ui_thread_;
  DWORD deadline_;
};

// Runs `call` (an export that shows dialogs) on this thread while `drive` runs against its
// dialogs on a second thread. `drive` answers whether its scenario went through; when it does
// not, or the time is up, the open dialogs are cancelled. Returns `call`'s result; `driven`
// says whether the scenario went through.
int RunDriven(const std::function<int()>& call, const std::function<bool(DialogDriver&)>& drive,
              DWORD timeout_ms, bool* driven);

}  // namespace win_host
