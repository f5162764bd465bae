#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "resources/dialog_template.h"
#include "ui/geometry.h"
#include "ui/list_model.h"

// A control of an open dialog. A Control is a handle: Dialog::Item(id) gives the dialog's own,
// and DataExchange::Control binds a dialog member (`ListBox list_;`) to a control when the
// dialog opens. A handle not (or no longer) attached to an open dialog does nothing and answers
// empty values and kListError.
//
// The operations are those of the familiar window, edit, button, list box and combo box calls;
// a list operation on a control without a list answers kListError.

namespace talmor {

class ControlPeer;
class Dialog;

// A push button that Enter clicks when no other push button has the focus.
inline bool IsDefaultPushButton(const ControlTemplate& t) {
  return t.kind == ControlKind::kPushButton && (t.style & 0xF) == kBsDefPushButton;
}

// Characters an edit takes: its own limit, or 30000 without one (`limit` 0).
inline constexpr int kDefaultEditLimit = 30000;
inline int EditLimit(int limit) { return limit == 0 ? kDefaultEditLimit : limit; }

inline constexpr int kUnchecked = 0;
inline constexpr int kChecked = 1;

class Control {
 public:
  Control() = default;
  ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  bool attached() const { return peer_ != nullptr; }
  int id() const;
  ControlKind kind() const;
  uint32_t style() const;

  // Window operations.
  std::string GetWindowText() const;
  void SetWindowText(std::string_view text);
  void EnableWindow(bool enable = true);
  bool IsWindowEnabled() const;
  void ShowWindow(bool show);
  bool IsWindowVisible() const;
  void SetFocus();
  Rect GetWindowRect() const;  // pixels, in the dialog's client area
  void MoveWindow(const Rect& rect);
  Size GetClientSize() const;  // inside the border and scroll bars
  int TextWidth(std::string_view text) const;  // pixels, in the control's font

  // Edits.
  void SetLimitText(int max_chars);  // 0 = no limit of its own
  int GetLimitText() const;

  // Check boxes and radio buttons: kUnchecked or kChecked.
  int GetCheck() const;
  void SetCheck(int state);

  // List boxes and combo boxes.
  int AddString(std::string_view text);                // index; sorted lists insert in order
  int InsertString(int index, std::string_view text);  // -1 appends; never sorts
  int DeleteString(int index);                         // count left
  void ResetContent();
  int GetCount() const;
  int GetText(int index, std::string& text) const;  // length, or kListError
  std::string GetText(int index) const;             // empty for a bad index
  int GetTextLen(int index) const;
  int SetItemData(int index, intptr_t data);
  intptr_t GetItemData(int index) const;
  int FindStringExact(int start, std::string_view text) const;  // ignores case
  int GetSel(int index) const;
  int SetSel(int index, bool select = true);  // extended selection; -1 = all
  int GetCurSel() const;
  int SetCurSel(int index);  // single selection and combo boxes
  int GetSelCount() const;
  std::vector<int> GetSelItems() const;
  bool SetTabStops(const std::vector<int>& dialog_units);
  void SetHorizontalExtent(int pixels);
  int GetHorizontalExtent() const;
  int GetTopIndex() const;
  int SetTopIndex(int index);
  int GetItemHeight() const;
  ScrollInfo GetVerticalScroll() const;

 private:
  friend class Dialog;
  void Attach(ControlPeer* peer, Dialog* dialog);
  void Detach();
  ListModel* list();
  const ListModel* list() const;

  ControlPeer* peer_ = nullptr;
  Dialog* dialog_ = nullptr;
};

// Names that say what a bound member is; all are Control.
using Edit = Control;
using Button = Control;
using ListBox = Control;
using ComboBox = Control;

}  // namespace talmor
