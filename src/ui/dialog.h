#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "resources/dialog_template.h"
#include "ui/control.h"
#include "ui/geometry.h"
#include "ui/message_box.h"
#include "ui/window.h"

// Modal dialogs built from the library's templates.
//
//   class FooDialog : public Dialog {
//    public:
//     explicit FooDialog(Window* owner) : Dialog(kIddFoo, owner) {}
//     std::string name_;
//     int max_ = 0;
//    protected:
//     bool OnInitDialog() override {
//       Dialog::OnInitDialog();            // controls show the members
//       Item(kIdExtra)->EnableWindow(false);
//       return true;                       // true: focus on the first tab stop
//     }
//     void DoDataExchange(DataExchange& dx) override {
//       dx.Text(kIdName, name_);
//       dx.MaxChars(kIdName, 16);
//       dx.Int(kIdMax, max_);
//       dx.Range(kIdMax, max_, 10, 30000);
//     }
//     bool OnCommand(int id, Notify code) override {
//       if (id == kIdExtra && code == Notify::kClicked) { ...; return true; }
//       return Dialog::OnCommand(id, code);  // OK and Cancel
//     }
//   };
//   FooDialog dialog(owner);
//   if (dialog.DoModal() == kIdOk) { ... dialog.name_ ... }
//
// DoModal creates the window from the template with the active backend, attaches the controls,
// calls OnInitDialog, runs the modal loop until EndDialog and returns EndDialog's result (-1
// when the template is missing or the dialog is already open). Control handles (Item, bound
// members) are valid only while the dialog is open.

namespace talmor {

class DataExchange;
class DialogPeer;
class Backend;

class Dialog : public Window {
 public:
  explicit Dialog(int template_id, Window* owner = nullptr);
  ~Dialog() override;

  int DoModal();
  // save = true: controls into members with validation (false after a failed check, with the
  // message shown and the focus on the failing control); false: members into controls.
  bool UpdateData(bool save = true);
  void EndDialog(int result);

  // The control with this id while the dialog is open, else null.
  Control* Item(int id);
  // A message box owned by this dialog; an empty caption is the module's application name.
  int MessageBox(std::string_view text, std::string_view caption = {}, unsigned style = kMbOk);

  int template_id() const { return template_id_; }
  const DialogTemplate* dialog_template() const { return template_; }
  Window* GetOwner() const { return owner_; }
  void SetOwner(Window* owner) { owner_ = owner; }
  bool is_open() const { return peer_ != nullptr; }

  std::string GetWindowText() const;  // the caption
  void SetWindowText(std::string_view caption);
  int GetFocusId() const;  // 0 for none
  void GotoControl(int id);
  // Buttons of a group of radio buttons starting at `first_id`: the ids in template order.
  std::vector<int> RadioGroup(int first_id) const;
  // The first button of the group that radio button `id` belongs to (by the group bits).
  int RadioGroupStart(int id) const;
  // A click on radio button `id`: it is checked, the others of its group unchecked.
  void CheckRadioInGroup(int id);
  // The button Enter clicks: the focused push button, else the first default push button, else
  // OK.
  int EnterTarget() const;
  void CheckRadioButton(int first_id, int last_id, int check_id);

  // Window geometry (pixels) and state.
  Rect GetWindowRect() const;
  void MoveWindow(const Rect& rect);
  Size GetClientSize() const;
  WindowPlacement GetWindowPlacement() const;
  void SetWindowPlacement(const WindowPlacement& placement);
  bool IsZoomed() const;
  void SetTopmost(bool topmost);
  bool IsTopmost() const;
  Size ScreenSize() const;
  // Dialog base units of the backend, and a dialog-unit rectangle in pixels.
  Size DialogBaseUnits() const;
  Rect MapDialogRect(const DialogRect& rect) const;

  // The dialog's menu.
  bool CheckMenuItem(int id, bool checked);
  int IsMenuItemChecked(int id) const;
  bool EnableMenuItem(int id, bool enabled);

  // Called by backends to report what the user did. A list box without the notify style sends
  // no selection change nor double click.
  void HandleCommand(int id, Notify code);
  // The focus moved from control `from` to `to` (0: none): kKillFocus, then kSetFocus.
  void HandleFocusMove(int from, int to);
  // Enter clicks EnterTarget(), Escape clicks Cancel; false, doing nothing, when that button is
  // disabled.
  bool HandleEnter();
  bool HandleEscape();
  void HandleKey(int id, Key key) { OnControlKey(id, key); }
  void HandleScroll(int id, ScrollCode code) { OnControlScroll(id, code); }
  void HandleSize(int cx, int cy) { OnSize(cx, cy); }
  void HandleClose() { OnClose(); }

 protected:
  // Default: UpdateData(false); true.
  virtual bool OnInitDialog();
  virtual void DoDataExchange(DataExchange& dx);
  // Default: UpdateData(true), and EndDialog(kIdOk) when it succeeds.
  virtual void OnOK();
  // Default: EndDialog(kIdCancel).
  virtual void OnCancel();
  // Default: a click on (or menu item) kIdOk calls OnOK, kIdCancel OnCancel. True if handled.
  virtual bool OnCommand(int id, Notify code);
  // The close box; default OnCancel.
  virtual void OnClose();
  virtual void OnSize(int cx, int cy);
  // Before a list box's own handling of a navigation key or a scroll action.
  virtual void OnControlKey(int id, Key key);
  virtual void OnControlScroll(int id, ScrollCode code);
  // The window is about to go (after the modal loop ended).
  virtual void OnDestroy();

 private:
  friend class Control;
  friend class DataExchange;
  void Bind(int id, Control& control);
  const ControlTemplate* FindControlTemplate(int id) const;  // null for none or kIdStatic
  void Unbind(Control* control);

  int template_id_;
  const DialogTemplate* template_ = nullptr;
  Window* owner_;
  std::unique_ptr<DialogPeer> peer_;
  Backend* backend_ = nullptr;
  std::map<int, std::unique_ptr<Control>> items_;
  std::vector<Control*> bound_;
};

}  // namespace talmor
