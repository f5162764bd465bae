#include "ui/dialog.h"

#include <algorithm>

#include "ui/backend.h"
#include "ui/data_exchange.h"

namespace talmor {

Dialog::Dialog(int template_id, Window* owner)
    : template_id_(template_id), template_(FindDialogTemplate(template_id)), owner_(owner) {}

Dialog::~Dialog() {
  for (Control* c : bound_) c->Detach();
}

int Dialog::DoModal() {
  if (peer_ != nullptr || template_ == nullptr) return -1;
  backend_ = &ActiveBackend();
  peer_ = backend_->CreateDialogPeer(*this, *template_, SafeHandle(owner_));
  if (peer_ == nullptr) return -1;
  AttachHandle(peer_->Handle());
  for (const ControlTemplate& c : template_->controls) {
    if (c.id == kIdStatic || items_.count(c.id) != 0) continue;
    auto control = std::make_unique<Control>();
    control->Attach(peer_->FindControl(c.id), this);
    items_[c.id] = std::move(control);
  }

  int result = -1;
  // Whatever the dialog code throws, the window goes and the handles detach.
  struct Closer {
    Dialog* d;
    ~Closer() {
      for (auto& [id, control] : d->items_) control->Detach();
      d->items_.clear();
      for (Control* c : d->bound_) c->Detach();
      d->bound_.clear();
      d->DetachHandle();
      d->peer_.reset();
      d->backend_ = nullptr;
    }
  } closer{this};
  if (OnInitDialog()) {
    // The focus starts on the first enabled, visible tab stop.
    for (const ControlTemplate& c : template_->controls) {
      const ControlPeer* p = peer_->FindControl(c.id);
      if (p != nullptr && (c.style & kWsTabStop) && p->IsEnabled() && p->IsVisible()) {
        peer_->SetFocus(c.id);
        break;
      }
    }
  }
  result = peer_->RunModal();
  OnDestroy();
  return result;
}

bool Dialog::UpdateData(bool save) {
  if (peer_ == nullptr) return false;
  DataExchange dx(*this, save);
  DoDataExchange(dx);
  return !dx.failed();
}

void Dialog::EndDialog(int result) {
  if (peer_ != nullptr) peer_->EndModal(result);
}

Control* Dialog::Item(int id) {
  auto it = items_.find(id);
  return it == items_.end() ? nullptr : it->second.get();
}

int Dialog::MessageBox(std::string_view text, std::string_view caption, unsigned style) {
  return talmor::MessageBox(this, text, caption, style);
}

std::string Dialog::GetWindowText() const {
  if (peer_ != nullptr) return peer_->GetCaption();
  return template_ ? template_->caption : std::string();
}

void Dialog::SetWindowText(std::string_view caption) {
  if (peer_ != nullptr) peer_->SetCaption(caption);
}

int Dialog::GetFocusId() const { return peer_ ? peer_->GetFocus() : 0; }

void Dialog::GotoControl(int id) {
  if (peer_ != nullptr && peer_->FindControl(id) != nullptr) peer_->SetFocus(id);
}

std::vector<int> Dialog::RadioGroup(int first_id) const {
  std::vector<int> ids;
  if (template_ == nullptr) return ids;
  const auto& controls = template_->controls;
  auto it = std::find_if(controls.begin(), controls.end(),
                         [&](const ControlTemplate& c) { return c.id == first_id; });
  for (; it != controls.end(); ++it) {
    if (it->kind != ControlKind::kRadioButton) break;
    if (!ids.empty() && (it->style & kWsGroup) != 0) break;
    ids.push_back(it->id);
  }
  return ids;
}

int Dialog::RadioGroupStart(int id) const {
  if (template_ == nullptr) return id;
  int start = id;
  for (const ControlTemplate& c : template_->controls) {
    if (c.kind != ControlKind::kRadioButton) {
      start = 0;
      continue;
    }
    if (start == 0 || (c.style & kWsGroup)) start = c.id;
    if (c.id == id) return start;
  }
  return id;
}

void Dialog::CheckRadioInGroup(int id) {
  for (int other : RadioGroup(RadioGroupStart(id))) {
    if (Control* c = Item(other)) c->SetCheck(other == id ? kChecked : kUnchecked);
  }
}

const ControlTemplate* Dialog::FindControlTemplate(int id) const {
  if (template_ == nullptr || id == kIdStatic) return nullptr;
  for (const ControlTemplate& c : template_->controls) {
    if (c.id == id) return &c;
  }
  return nullptr;
}

int Dialog::EnterTarget() const {
  const ControlTemplate* focused = FindControlTemplate(GetFocusId());
  if (focused != nullptr && focused->kind == ControlKind::kPushButton) return focused->id;
  if (template_ == nullptr) return kIdOk;
  for (const ControlTemplate& c : template_->controls) {
    if (IsDefaultPushButton(c)) return c.id;
  }
  return kIdOk;
}

void Dialog::CheckRadioButton(int first_id, int last_id, int check_id) {
  for (int id = first_id; id <= last_id; ++id) {
    if (Control* c = Item(id)) c->SetCheck(id == check_id ? kChecked : kUnchecked);
  }
}

Rect Dialog::GetWindowRect() const { return peer_ ? peer_->GetWindowRect() : Rect{}; }
void Dialog::MoveWindow(const Rect& rect) {
  if (peer_) peer_->SetWindowRect(rect);
}
Size Dialog::GetClientSize() const { return peer_ ? peer_->GetClientSize() : Size{}; }
WindowPlacement Dialog::GetWindowPlacement() const {
  return peer_ ? peer_->GetPlacement() : WindowPlacement{};
}
void Dialog::SetWindowPlacement(const WindowPlacement& placement) {
  if (peer_) peer_->SetPlacement(placement);
}
bool Dialog::IsZoomed() const { return peer_ && peer_->GetPlacement().show_cmd == kShowMaximized; }
void Dialog::SetTopmost(bool topmost) {
  if (peer_) peer_->SetTopmost(topmost);
}
bool Dialog::IsTopmost() const { return peer_ && peer_->IsTopmost(); }
Size Dialog::ScreenSize() const { return (backend_ ? *backend_ : ActiveBackend()).ScreenSize(); }
Size Dialog::DialogBaseUnits() const {
  return (backend_ ? *backend_ : ActiveBackend()).DialogBaseUnits();
}
Rect Dialog::MapDialogRect(const DialogRect& rect) const {
  return talmor::MapDialogRect(rect, DialogBaseUnits());
}

bool Dialog::CheckMenuItem(int id, bool checked) {
  return peer_ && peer_->CheckMenuItem(id, checked);
}
int Dialog::IsMenuItemChecked(int id) const { return peer_ ? peer_->IsMenuItemChecked(id) : -1; }
bool Dialog::EnableMenuItem(int id, bool enabled) {
  return peer_ && peer_->EnableMenuItem(id, enabled);
}

bool Dialog::OnInitDialog() {
  UpdateData(false);
  return true;
}

void Dialog::DoDataExchange(DataExchange&) {}

void Dialog::OnOK() {
  if (UpdateData(true)) EndDialog(kIdOk);
}

void Dialog::OnCancel() { EndDialog(kIdCancel); }

bool Dialog::OnCommand(int id, Notify code) {
  if (code != Notify::kClicked && code != Notify::kMenu) return false;
  if (id == kIdOk) {
    OnOK();
    return true;
  }
  if (id == kIdCancel) {
    OnCancel();
    return true;
  }
  return false;
}

void Dialog::HandleCommand(int id, Notify code) {
  if (code == Notify::kSelChange || code == Notify::kDoubleClick) {
    const ControlTemplate* c = FindControlTemplate(id);
    if (c != nullptr && c->kind == ControlKind::kListBox && !(c->style & kLbsNotify)) return;
  }
  OnCommand(id, code);
}

void Dialog::HandleFocusMove(int from, int to) {
  if (from == to) return;
  if (from != 0) HandleCommand(from, Notify::kKillFocus);
  if (to != 0) HandleCommand(to, Notify::kSetFocus);
}

bool Dialog::HandleEnter() {
  const int target = EnterTarget();
  if (Control* button = Item(target); button != nullptr && !button->IsWindowEnabled()) return false;
  HandleCommand(target, Notify::kClicked);
  return true;
}

bool Dialog::HandleEscape() {
  if (Control* cancel = Item(kIdCancel); cancel != nullptr && !cancel->IsWindowEnabled()) {
    return false;
  }
  HandleCommand(kIdCancel, Notify::kClicked);
  return true;
}

void Dialog::OnClose() { OnCancel(); }
void Dialog::OnSize(int, int) {}
void Dialog::OnControlKey(int, Key) {}
void Dialog::OnControlScroll(int, ScrollCode) {}
void Dialog::OnDestroy() {}

void Dialog::Bind(int id, Control& control) {
  if (peer_ == nullptr) return;
  ControlPeer* peer = peer_->FindControl(id);
  if (peer == nullptr) return;
  if (control.dialog_ != nullptr && control.dialog_ != this) control.dialog_->Unbind(&control);
  control.Attach(peer, this);
  if (std::find(bound_.begin(), bound_.end(), &control) == bound_.end()) bound_.push_back(&control);
}

void Dialog::Unbind(Control* control) {
  bound_.erase(std::remove(bound_.begin(), bound_.end(), control), bound_.end());
  control->Detach();
}

}  // namespace talmor
