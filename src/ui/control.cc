#include "ui/control.h"

#include "ui/backend.h"
#include "ui/dialog.h"

namespace talmor {

Control::~Control() {
  if (dialog_ != nullptr) dialog_->Unbind(this);
}

void Control::Attach(ControlPeer* peer, Dialog* dialog) {
  peer_ = peer;
  dialog_ = dialog;
}

void Control::Detach() {
  peer_ = nullptr;
  dialog_ = nullptr;
}

ListModel* Control::list() { return peer_ ? peer_->List() : nullptr; }
const ListModel* Control::list() const { return peer_ ? peer_->List() : nullptr; }

int Control::id() const { return peer_ ? peer_->Template().id : 0; }
ControlKind Control::kind() const { return peer_ ? peer_->Template().kind : ControlKind::kStatic; }
uint32_t Control::style() const { return peer_ ? peer_->Template().style : 0; }

std::string Control::GetWindowText() const { return peer_ ? peer_->GetText() : std::string(); }
void Control::SetWindowText(std::string_view text) {
  if (peer_) peer_->SetText(text);
}
void Control::EnableWindow(bool enable) {
  if (peer_) peer_->Enable(enable);
}
bool Control::IsWindowEnabled() const { return peer_ && peer_->IsEnabled(); }
void Control::ShowWindow(bool show) {
  if (peer_) peer_->Show(show);
}
bool Control::IsWindowVisible() const { return peer_ && peer_->IsVisible(); }
void Control::SetFocus() {
  if (peer_ && dialog_) dialog_->GotoControl(peer_->Template().id);
}
Rect Control::GetWindowRect() const { return peer_ ? peer_->GetRect() : Rect{}; }
void Control::MoveWindow(const Rect& rect) {
  if (peer_) peer_->SetRect(rect);
}
Size Control::GetClientSize() const { return peer_ ? peer_->GetClientSize() : Size{}; }
int Control::TextWidth(std::string_view text) const { return peer_ ? peer_->TextWidth(text) : 0; }

void Control::SetLimitText(int max_chars) {
  if (peer_) peer_->SetLimitText(max_chars < 0 ? 0 : max_chars);
}
int Control::GetLimitText() const { return peer_ ? peer_->GetLimitText() : 0; }

int Control::GetCheck() const { return peer_ ? peer_->GetCheck() : kUnchecked; }
void Control::SetCheck(int state) {
  if (peer_) peer_->SetCheck(state);
}

int Control::AddString(std::string_view text) {
  ListModel* l = list();
  if (!l) return kListError;
  int index = l->Add(text);
  peer_->ListChanged();
  return index;
}
int Control::InsertString(int index, std::string_view text) {
  ListModel* l = list();
  if (!l) return kListError;
  int result = l->Insert(index, text);
  peer_->ListChanged();
  return result;
}
int Control::DeleteString(int index) {
  ListModel* l = list();
  if (!l) return kListError;
  int result = l->Delete(index);
  peer_->ListChanged();
  return result;
}
void Control::ResetContent() {
  if (ListModel* l = list()) {
    l->Reset();
    peer_->ListChanged();
  }
}
int Control::GetCount() const {
  const ListModel* l = list();
  return l ? l->Count() : kListError;
}
int Control::GetText(int index, std::string& text) const {
  const ListModel* l = list();
  return l ? l->Text(index, &text) : kListError;
}
std::string Control::GetText(int index) const {
  std::string text;
  GetText(index, text);
  return text;
}
int Control::GetTextLen(int index) const {
  const ListModel* l = list();
  return l ? l->Text(index, nullptr) : kListError;
}
int Control::SetItemData(int index, intptr_t data) {
  ListModel* l = list();
  return l ? l->SetData(index, data) : kListError;
}
intptr_t Control::GetItemData(int index) const {
  const ListModel* l = list();
  return l ? l->GetData(index) : kListError;
}
int Control::FindStringExact(int start, std::string_view text) const {
  const ListModel* l = list();
  return l ? l->FindStringExact(start, text) : kListError;
}
int Control::GetSel(int index) const {
  const ListModel* l = list();
  return l ? l->GetSel(index) : kListError;
}
int Control::SetSel(int index, bool select) {
  ListModel* l = list();
  if (!l) return kListError;
  int result = l->SetSel(index, select);
  peer_->ListChanged();
  return result;
}
int Control::GetCurSel() const {
  const ListModel* l = list();
  return l ? l->GetCurSel() : kListError;
}
int Control::SetCurSel(int index) {
  ListModel* l = list();
  if (!l) return kListError;
  int result = l->SetCurSel(index);
  // A list box scrolls the new selection into view.
  if (result != kListError && index >= 0 && peer_->Template().kind == ControlKind::kListBox) {
    l->ScrollIntoView(index, peer_->VisibleRows());
  }
  peer_->ListChanged();
  return result;
}
int Control::GetSelCount() const {
  const ListModel* l = list();
  return l ? l->GetSelCount() : kListError;
}
std::vector<int> Control::GetSelItems() const {
  const ListModel* l = list();
  return l ? l->GetSelItems() : std::vector<int>{};
}
bool Control::SetTabStops(const std::vector<int>& dialog_units) {
  if (!list()) return false;
  peer_->SetTabStops(dialog_units);
  return true;
}
void Control::SetHorizontalExtent(int pixels) {
  if (list()) peer_->SetHorizontalExtent(pixels);
}
int Control::GetHorizontalExtent() const { return list() ? peer_->GetHorizontalExtent() : 0; }
int Control::GetTopIndex() const {
  const ListModel* l = list();
  return l ? l->top_index() : kListError;
}
int Control::SetTopIndex(int index) {
  ListModel* l = list();
  if (!l) return kListError;
  int result = l->SetTopIndex(index);
  peer_->ListChanged();
  return result;
}
int Control::GetItemHeight() const { return list() ? peer_->GetItemHeight() : kListError; }
ScrollInfo Control::GetVerticalScroll() const {
  return list() ? peer_->GetVerticalScroll() : ScrollInfo{};
}

}  // namespace talmor
