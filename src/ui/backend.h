#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "resources/dialog_template.h"
#include "ui/geometry.h"
#include "ui/window.h"

// The seam between the dialog framework and a user-interface toolkit. A Backend renders a dialog
// from its template into a DialogPeer, which owns the state of the dialog's controls (one
// ControlPeer each), runs the modal loop and reports the user's actions back to the Dialog
// through its Handle... calls. Dialog code never sees a backend; it talks to Dialog and Control.
//
// Backends: "headless" (always there; scripted operator, see headless_backend.h), and toolkit
// backends registered by name. TALMOR_UI=<name> picks one; unset, the first native backend whose
// display is available, else headless.

namespace talmor {

class Dialog;

// The platform's message record, as FilterDllMsg receives it.
struct MessageRecord {
  WindowHandle hwnd;
  uint32_t message;
  uintptr_t wparam;
  intptr_t lparam;
  uint32_t time;
  Point pt;
};

class ControlPeer {
 public:
  virtual ~ControlPeer() = default;

  virtual const ControlTemplate& Template() const = 0;
  virtual std::string GetText() const = 0;
  virtual void SetText(std::string_view text) = 0;
  virtual bool IsEnabled() const = 0;
  virtual void Enable(bool enable) = 0;
  virtual bool IsVisible() const = 0;
  virtual void Show(bool show) = 0;
  virtual int GetCheck() const = 0;
  virtual void SetCheck(int state) = 0;
  virtual int GetLimitText() const = 0;
  virtual void SetLimitText(int limit) = 0;  // 0 = the toolkit's maximum
  virtual Rect GetRect() const = 0;          // pixels, in the dialog's client area
  virtual void SetRect(const Rect& rect) = 0;
  // The control's client area: inside its border and scroll bars.
  virtual Size GetClientSize() const = 0;
  virtual int TextWidth(std::string_view text) const = 0;  // pixels in the control's font

  // List box and combo box entries; null for other kinds.
  virtual class ListModel* List() = 0;
  virtual const class ListModel* List() const = 0;
  virtual void SetTabStops(const std::vector<int>& dialog_units) = 0;
  virtual std::vector<int> GetTabStops() const = 0;
  virtual void SetHorizontalExtent(int pixels) = 0;
  virtual int GetHorizontalExtent() const = 0;
  virtual int GetItemHeight() const = 0;
  // Whole lines of a list in the client area; at least one.
  int VisibleRows() const;
  virtual ScrollInfo GetVerticalScroll() const = 0;
  // Tells the peer its list changed (repaint; the headless peer keeps the top index in range).
  virtual void ListChanged() = 0;
};

// The control of `controls` (owning pointers to ControlPeer, in template order) with this id;
// null for none and for kIdStatic, which names no one control.
template <class Controls>
auto FindControlById(Controls& controls, int id) -> decltype(controls.front().get()) {
  if (id == kIdStatic) return nullptr;
  for (auto& c : controls) {
    if (c->Template().id == id) return c.get();
  }
  return nullptr;
}

class DialogPeer {
 public:
  virtual ~DialogPeer() = default;

  virtual WindowHandle Handle() const = 0;
  virtual ControlPeer* FindControl(int id) = 0;  // null for no control or kIdStatic
  virtual std::string GetCaption() const = 0;
  virtual void SetCaption(std::string_view caption) = 0;
  virtual int GetFocus() const = 0;        // id of the focused control, 0 for none
  virtual void SetFocus(int id) = 0;       // fires kKillFocus/kSetFocus
  virtual Rect GetWindowRect() const = 0;  // screen pixels
  virtual void SetWindowRect(const Rect& rect) = 0;
  virtual Size GetClientSize() const = 0;
  virtual WindowPlacement GetPlacement() const = 0;
  virtual void SetPlacement(const WindowPlacement& placement) = 0;
  virtual void SetTopmost(bool topmost) = 0;
  virtual bool IsTopmost() const = 0;
  // Menu items of the dialog's menu; false when there is no such item.
  virtual bool CheckMenuItem(int id, bool checked) = 0;
  virtual int IsMenuItemChecked(int id) const = 0;  // 1, 0, or -1 for no such item
  virtual bool EnableMenuItem(int id, bool enabled) = 0;

  // Runs the modal loop until EndModal; returns its result. EndModal before RunModal makes
  // RunModal return at once.
  virtual int RunModal() = 0;
  virtual void EndModal(int result) = 0;
};

class Backend {
 public:
  virtual ~Backend() = default;

  virtual const char* Name() const = 0;
  virtual std::unique_ptr<DialogPeer> CreateDialogPeer(Dialog& dialog,
                                                       const DialogTemplate& dialog_template,
                                                       WindowHandle owner) = 0;
  // A modal message box; returns kIdOk, kIdCancel, kIdYes or kIdNo.
  virtual int ShowMessageBox(WindowHandle owner, std::string_view text, std::string_view caption,
                             unsigned style) = 0;
  // Horizontal and vertical dialog base units, in pixels.
  virtual Size DialogBaseUnits() const = 0;
  virtual int TextWidth(std::string_view text) const = 0;
  virtual Size ScreenSize() const = 0;
  // Gives the library's windows the first look at a message of the host's loop; true when one
  // of them consumed it.
  virtual bool PreTranslateMessage(const MessageRecord& message) {
    (void)message;
    return false;
  }
};

// Dialog units to pixels with the given base units.
Rect MapDialogRect(const DialogRect& rect, Size base_units);

// The backend the next dialog uses: a ScopedBackend's if any, else the one TALMOR_UI selects.
Backend& ActiveBackend();

// Adds a backend under `name`. `native` backends are candidates when TALMOR_UI is unset, in the
// order registered, if `display_available` answers true.
using BackendFactory = std::unique_ptr<Backend> (*)();
void RegisterBackend(const std::string& name, bool native, bool (*display_available)(),
                     BackendFactory factory);

// Names of the registered backends ("headless" first).
std::vector<std::string> RegisteredBackends();

// Makes `backend` the active one for the guard's lifetime (tests).
class ScopedBackend {
 public:
  explicit ScopedBackend(Backend& backend);
  ~ScopedBackend();
  ScopedBackend(const ScopedBackend&) = delete;
  ScopedBackend& operator=(const ScopedBackend&) = delete;

 private:
  Backend* previous_;
};

}  // namespace talmor
