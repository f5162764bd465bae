// The dialog headers come before <windows.h>: its A/W macros (MessageBox, GetWindowText...)
// must not rename the framework's own members.
#include "ui/win32/win32_backend.h"

#include <algorithm>
#include <optional>
#include <string>

#include "ui/dialog.h"
#include "ui/dialog_colors.h"
#include "ui/list_model.h"
#include "ui/message_box.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

// Forces this object into every program that links the dialog framework, so that the backend
// registers itself (see the link option on talmor_ui).
extern "C" {
int talmor_win32_backend_anchor = 0;
}

namespace talmor {

class Win32Dialog;

namespace {

// Posted to a dialog when one of its lists changed: the native controls catch up once, later.
constexpr UINT kSyncListsMessage = WM_APP + 0x2A1;
constexpr const char kDialogProperty[] = "talmor.dialog";
constexpr const char kControlProperty[] = "talmor.control";

std::vector<Win32Dialog*> open_dialogs;  // running their modal loop, innermost last

HINSTANCE ModuleInstance() {
  HMODULE module = nullptr;
  ::GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&talmor_win32_backend_anchor), &module);
  return module;
}

COLORREF ToColorRef(Rgb c) { return RGB(c.red, c.green, c.blue); }

// Texts are bytes in the system's code page, as the library stores them.
std::wstring Widen(std::string_view s) {
  if (s.empty()) return std::wstring();
  int n = ::MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
  return out;
}

std::string WindowText(HWND hwnd) {
  int length = ::GetWindowTextLengthA(hwnd);
  if (length <= 0) return std::string();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  int got = ::GetWindowTextA(hwnd, text.data(), length + 1);
  text.resize(static_cast<size_t>(std::max(0, got)));
  return text;
}

// The template's point size in the device's pixels (a negative height asks for the character
// height, as the dialog manager does).
HFONT CreateTemplateFont(std::string_view family, int point_size) {
  HDC screen = ::GetDC(nullptr);
  int height = -::MulDiv(point_size > 0 ? point_size : 8, ::GetDeviceCaps(screen, LOGPIXELSY), 72);
  ::ReleaseDC(nullptr, screen);
  std::string face(family.empty() ? std::string_view("MS Sans Serif") : family);
  return ::CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, face.c_str());
}

int TextExtent(HDC dc, HFONT font, std::string_view text) {
  if (text.empty()) return 0;
  HGDIOBJ old = font ? ::SelectObject(dc, font) : nullptr;
  SIZE size{0, 0};
  ::GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &size);
  if (old) ::SelectObject(dc, old);
  return size.cx;
}

// An icon of the module's pixel data, each pixel `scale` times over.
HICON CreateIconFromResource(const IconResource& icon, int scale) {
  if (icon.width <= 0 || icon.height <= 0) return nullptr;
  const int w = icon.width * scale;
  const int h = icon.height * scale;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC screen = ::GetDC(nullptr);
  HBITMAP color = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  ::ReleaseDC(nullptr, screen);
  if (color == nullptr || bits == nullptr) return nullptr;
  auto* pixels = static_cast<uint32_t*>(bits);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) pixels[y * w + x] = icon.Pixel(x / scale, y / scale);
  }
  // The AND mask: set where the image is transparent.
  const int stride = ((w + 15) / 16) * 2;
  std::vector<uint8_t> mask(static_cast<size_t>(stride * h), 0);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if ((icon.Pixel(x / scale, y / scale) >> 24) == 0) {
        mask[static_cast<size_t>(y * stride + x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
      }
    }
  }
  HBITMAP mask_bitmap = ::CreateBitmap(w, h, 1, 1, mask.data());
  ICONINFO ii{};
  ii.fIcon = TRUE;
  ii.hbmMask = mask_bitmap;
  ii.hbmColor = color;
  HICON result = ::CreateIconIndirect(&ii);
  ::DeleteObject(mask_bitmap);
  ::DeleteObject(color);
  return result;
}

std::optional<Key> NavigationKey(WPARAM vk) {
  switch (vk) {
    case VK_DOWN:
      return Key::kDown;
    case VK_NEXT:
      return Key::kPageDown;
    case VK_END:
      return Key::kEnd;
    case VK_UP:
      return Key::kUp;
    case VK_PRIOR:
      return Key::kPageUp;
    case VK_HOME:
      return Key::kHome;
    case VK_LEFT:
      return Key::kLeft;
    case VK_RIGHT:
      return Key::kRight;
    default:
      return std::nullopt;
  }
}

std::optional<ScrollCode> ScrollAction(WPARAM code) {
  switch (LOWORD(code)) {
    case SB_LINEUP:
      return ScrollCode::kLineUp;
    case SB_LINEDOWN:
      return ScrollCode::kLineDown;
    case SB_PAGEUP:
      return ScrollCode::kPageUp;
    case SB_PAGEDOWN:
      return ScrollCode::kPageDown;
    case SB_TOP:
      return ScrollCode::kTop;
    case SB_BOTTOM:
      return ScrollCode::kBottom;
    case SB_ENDSCROLL:
      return ScrollCode::kEndScroll;
    default:
      return std::nullopt;  // thumb tracking is the list's own
  }
}

// Writes a dialog template as the dialog manager reads it from memory.
class TemplateWriter {
 public:
  void Word(uint16_t w) { words_.push_back(w); }
  void Dword(uint32_t d) {
    Word(static_cast<uint16_t>(d & 0xFFFF));
    Word(static_cast<uint16_t>(d >> 16));
  }
  void Short(int v) { Word(static_cast<uint16_t>(static_cast<int16_t>(v))); }
  void String(std::string_view s) {
    for (wchar_t c : Widen(s)) Word(static_cast<uint16_t>(c));
    Word(0);
  }
  void AlignDword() {
    if (words_.size() % 2 != 0) Word(0);
  }
  std::vector<uint16_t> Take() { return std::move(words_); }

 private:
  std::vector<uint16_t> words_;
};

// Predefined window class atoms of the dialog manager.
constexpr uint16_t kButtonAtom = 0x0080;
constexpr uint16_t kEditAtom = 0x0081;
constexpr uint16_t kStaticAtom = 0x0082;
constexpr uint16_t kListBoxAtom = 0x0083;
constexpr uint16_t kComboBoxAtom = 0x0085;

}  // namespace

std::vector<uint16_t> BuildDialogTemplate(const DialogTemplate& t) {
  TemplateWriter w;
  // Shown by the modal loop once the dialog code has initialised it; centred on its owner.
  uint32_t style = (t.style & ~static_cast<uint32_t>(WS_VISIBLE)) | DS_CENTER;
  if (!t.font_name.empty()) style |= DS_SETFONT;
  w.Dword(style);
  w.Dword(0);  // extended style
  w.Word(static_cast<uint16_t>(t.controls.size()));
  w.Short(0);
  w.Short(0);
  w.Short(t.cx);
  w.Short(t.cy);
  w.Word(0);  // no menu resource: the menu is built from the module's menu data
  w.Word(0);  // the dialog class
  w.String(t.caption);
  if (style & DS_SETFONT) {
    w.Word(static_cast<uint16_t>(t.font_size > 0 ? t.font_size : 8));
    w.String(t.font_name);
  }
  for (const ControlTemplate& c : t.controls) {
    w.AlignDword();
    uint32_t item_style = c.style | WS_CHILD;
    uint32_t ex_style = 0;
    uint16_t atom = kStaticAtom;
    std::string text = c.text;
    switch (c.kind) {
      case ControlKind::kEdit:
        atom = kEditAtom;
        break;
      case ControlKind::kStatic:
        atom = kStaticAtom;
        break;
      case ControlKind::kIcon:
        atom = kStaticAtom;
        text.clear();  // the image is set once the control exists
        break;
      case ControlKind::kPushButton:
      case ControlKind::kCheckBox:
      case ControlKind::kRadioButton:
      case ControlKind::kGroupBox:
        atom = kButtonAtom;
        break;
      case ControlKind::kListBox:
        // The entries are the ListModel's, already in order: the native list does not sort.
        // It always notifies, so that the model follows the user's selection.
        atom = kListBoxAtom;
        item_style = (item_style & ~static_cast<uint32_t>(LBS_SORT)) | LBS_NOTIFY | LBS_HASSTRINGS;
        text.clear();
        break;
      case ControlKind::kComboBox:
        atom = kComboBoxAtom;
        item_style = (item_style & ~static_cast<uint32_t>(CBS_SORT)) | CBS_HASSTRINGS;
        text.clear();
        break;
    }
    // A bordered edit or list has the sunken edge of the dialog manager's 3D look.
    if ((c.kind == ControlKind::kEdit || c.kind == ControlKind::kListBox) &&
        (item_style & WS_BORDER)) {
      item_style &= ~static_cast<uint32_t>(WS_BORDER);
      ex_style |= WS_EX_CLIENTEDGE;
    }
    w.Dword(item_style);
    w.Dword(ex_style);
    w.Short(c.rect.x);
    w.Short(c.rect.y);
    w.Short(c.rect.cx);
    w.Short(c.rect.cy);
    w.Word(static_cast<uint16_t>(c.id));  // kIdStatic (-1) is 0xFFFF, as the platform has it
    w.Word(0xFFFF);
    w.Word(atom);
    w.String(text);
    w.Word(0);  // no creation data
  }
  return w.Take();
}

class Win32Control : public ControlPeer {
 public:
  Win32Control(Win32Dialog& dialog, const ControlTemplate& t, HWND hwnd);
  ~Win32Control() override;

  const ControlTemplate& Template() const override { return t_; }
  std::string GetText() const override;
  void SetText(std::string_view text) override;
  bool IsEnabled() const override { return ::IsWindowEnabled(hwnd_) != FALSE; }
  void Enable(bool enable) override;
  // The control's own visibility, also while the dialog itself is not shown yet.
  bool IsVisible() const override {
    return (::GetWindowLongPtrA(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0;
  }
  void Show(bool show) override { ::ShowWindow(hwnd_, show ? SW_SHOWNA : SW_HIDE); }
  int GetCheck() const override;
  void SetCheck(int state) override;
  int GetLimitText() const override { return EditLimit(limit_); }
  void SetLimitText(int limit) override;
  Rect GetRect() const override;
  Size GetClientSize() const override {
    RECT r{};
    ::GetClientRect(hwnd_, &r);
    return {r.right - r.left, r.bottom - r.top};
  }
  void SetRect(const Rect& rect) override;
  int TextWidth(std::string_view text) const override;
  ListModel* List() override { return list_ ? &*list_ : nullptr; }
  const ListModel* List() const override { return list_ ? &*list_ : nullptr; }
  void SetTabStops(const std::vector<int>& dialog_units) override;
  std::vector<int> GetTabStops() const override { return tab_stops_; }
  void SetHorizontalExtent(int pixels) override;
  int GetHorizontalExtent() const override;
  int GetItemHeight() const override;
  ScrollInfo GetVerticalScroll() const override;
  void ListChanged() override;

  HWND hwnd() const { return hwnd_; }
  bool is_list() const { return t_.kind == ControlKind::kListBox; }
  bool is_combo() const { return t_.kind == ControlKind::kComboBox; }
  bool syncing() const { return syncing_; }
  // Brings the native entries, selection and top index up to the model's, when it changed.
  void SyncList();
  // The user changed the native selection: the model follows.
  void ReadSelection();
  // The native list may have scrolled: the model's top index follows.
  void ReadTopIndex();

 private:
  static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT CallOriginal(UINT message, WPARAM wparam, LPARAM lparam) {
    return ::CallWindowProcA(original_, hwnd_, message, wparam, lparam);
  }
  // Native message numbers of a list box or a combo box's list.
  UINT Msg(UINT list_message, UINT combo_message) const {
    return is_combo() ? combo_message : list_message;
  }

  Win32Dialog& dialog_;
  const ControlTemplate& t_;
  HWND hwnd_;
  WNDPROC original_ = nullptr;
  HICON icon_ = nullptr;
  int check_ = kUnchecked;
  int limit_ = 0;
  std::optional<ListModel> list_;
  std::vector<std::string> shown_;  // the entries the native control holds
  std::vector<int> tab_stops_;
  int synced_top_ = 0;
  bool dirty_ = false;
  bool syncing_ = false;
};

class Win32Dialog : public DialogPeer {
 public:
  Win32Dialog(Dialog& dialog, const DialogTemplate& t, HWND owner);
  ~Win32Dialog() override;

  bool created() const { return hwnd_ != nullptr; }
  WindowHandle Handle() const override { return hwnd_; }
  Win32Control* FindControl(int id) override { return FindControlById(controls_, id); }
  std::string GetCaption() const override { return WindowText(hwnd_); }
  void SetCaption(std::string_view caption) override {
    ::SetWindowTextA(hwnd_, std::string(caption).c_str());
  }
  int GetFocus() const override { return focus_; }
  void SetFocus(int id) override;
  Rect GetWindowRect() const override {
    RECT r{};
    ::GetWindowRect(hwnd_, &r);
    return {r.left, r.top, r.right, r.bottom};
  }
  void SetWindowRect(const Rect& rect) override {
    ::MoveWindow(hwnd_, rect.left, rect.top, rect.width(), rect.height(), TRUE);
  }
  Size GetClientSize() const override {
    RECT r{};
    ::GetClientRect(hwnd_, &r);
    return {r.right - r.left, r.bottom - r.top};
  }
  WindowPlacement GetPlacement() const override;
  void SetPlacement(const WindowPlacement& placement) override;
  void SetTopmost(bool topmost) override {
    ::SetWindowPos(hwnd_, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  bool IsTopmost() const override {
    return (::GetWindowLongPtrA(hwnd_, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
  }
  bool CheckMenuItem(int id, bool checked) override {
    if (menu_ == nullptr || !HasMenuItem(id)) return false;
    ::CheckMenuItem(menu_, static_cast<UINT>(id),
                    MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
    return true;
  }
  int IsMenuItemChecked(int id) const override {
    if (menu_ == nullptr || !HasMenuItem(id)) return -1;
    UINT state = ::GetMenuState(menu_, static_cast<UINT>(id), MF_BYCOMMAND);
    if (state == static_cast<UINT>(-1)) return -1;
    return (state & MF_CHECKED) ? 1 : 0;
  }
  bool EnableMenuItem(int id, bool enabled) override {
    if (menu_ == nullptr || !HasMenuItem(id)) return false;
    ::EnableMenuItem(menu_, static_cast<UINT>(id),
                     MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
    ::DrawMenuBar(hwnd_);
    return true;
  }
  int RunModal() override;
  void EndModal(int result) override {
    ended_ = true;
    result_ = result;
    if (hwnd_ != nullptr) ::PostMessageA(hwnd_, WM_NULL, 0, 0);  // wakes the loop up
  }

  HWND hwnd() const { return hwnd_; }
  bool ended() const { return ended_; }
  Dialog& dialog() { return dialog_; }
  // Notifications reach the dialog only once it has its controls, and not while it goes.
  bool live() const { return constructed_ && !closing_; }
  void Notify(int id, talmor::Notify code) {
    if (live() && FindControl(id) != nullptr) dialog_.HandleCommand(id, code);
  }
  // The focus moved to control `id` (0: none): kKillFocus for the old one, kSetFocus for it.
  void MoveFocus(int id) {
    if (!live() || suppress_focus_ || id == focus_) return;
    int old = focus_;
    focus_ = id;
    dialog_.HandleFocusMove(old, id);
  }
  void ForgetFocus(int id) {
    if (focus_ == id) focus_ = 0;
  }
  void PostSync() {
    if (sync_posted_ || hwnd_ == nullptr) return;
    sync_posted_ = true;
    ::PostMessageA(hwnd_, kSyncListsMessage, 0, 0);
  }
  void SyncLists() {
    sync_posted_ = false;
    for (auto& c : controls_) c->SyncList();
  }
  void ForceCancel() {
    if (ended_) return;
    Escape();
    if (!ended_) EndModal(kIdCancel);
  }

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  INT_PTR Handle(UINT message, WPARAM wparam, LPARAM lparam);
  void Command(int id, int code, HWND control);
  void Escape() { dialog_.HandleEscape(); }
  bool HasMenuItem(int id) const {
    return std::find(menu_ids_.begin(), menu_ids_.end(), id) != menu_ids_.end();
  }
  void BuildMenu(int menu_id);

  Dialog& dialog_;
  const DialogTemplate& t_;
  HWND hwnd_ = nullptr;
  HMENU menu_ = nullptr;
  std::vector<int> menu_ids_;
  HBRUSH background_ = nullptr;
  DialogColorScheme colors_;
  std::vector<std::unique_ptr<Win32Control>> controls_;
  Size last_client_;
  int focus_ = 0;
  bool constructed_ = false;
  bool closing_ = false;
  bool suppress_focus_ = false;
  bool sync_posted_ = false;
  bool ended_ = false;
  bool running_ = false;
  int result_ = kIdCancel;

  friend class Win32Backend;
};

// --- controls ---------------------------------------------------------------------------------

Win32Control::Win32Control(Win32Dialog& dialog, const ControlTemplate& t, HWND hwnd)
    : dialog_(dialog), t_(t), hwnd_(hwnd), list_(ListModel::For(t)) {
  ::SetPropA(hwnd_, kControlProperty, this);
  original_ = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubclassProc)));
  switch (t.kind) {
    case ControlKind::kEdit:
      ::SendMessageA(hwnd_, EM_LIMITTEXT, kDefaultEditLimit, 0);
      break;
    case ControlKind::kIcon:
      if (const IconResource* icon = FindIconResource(t.icon)) {
        icon_ = CreateIconFromResource(*icon, icon->width <= 16 ? 2 : 1);
        if (icon_) ::SendMessageA(hwnd_, STM_SETICON, reinterpret_cast<WPARAM>(icon_), 0);
      }
      break;
    default:
      break;
  }
}

Win32Control::~Win32Control() {
  if (::IsWindow(hwnd_)) {
    ::SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
    ::RemovePropA(hwnd_, kControlProperty);
  }
  if (icon_) ::DestroyIcon(icon_);
}

LRESULT CALLBACK Win32Control::SubclassProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = static_cast<Win32Control*>(::GetPropA(hwnd, kControlProperty));
  if (self == nullptr) return ::DefWindowProcA(hwnd, message, wparam, lparam);
  return self->Handle(message, wparam, lparam);
}

LRESULT Win32Control::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCDESTROY) {
    WNDPROC original = original_;
    ::SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
    ::RemovePropA(hwnd_, kControlProperty);
    return ::CallWindowProcA(original, hwnd_, message, wparam, lparam);
  }
  if (message == WM_SETFOCUS) {
    LRESULT result = CallOriginal(message, wparam, lparam);
    if (t_.id != kIdStatic) dialog_.MoveFocus(t_.id);
    return result;
  }
  if (!is_list() || syncing_) return CallOriginal(message, wparam, lparam);

  // The list box: the dialog sees navigation keys and scroll actions before the list handles
  // them; what the dialog added meanwhile is in the native list before it moves.
  if (message == WM_KEYDOWN) {
    if (std::optional<Key> key = NavigationKey(wparam); key && dialog_.live()) {
      dialog_.dialog().HandleKey(t_.id, *key);
      if (dialog_.ended()) return 0;
      SyncList();
    }
  } else if (message == WM_VSCROLL) {
    if (std::optional<ScrollCode> code = ScrollAction(wparam); code && dialog_.live()) {
      dialog_.dialog().HandleScroll(t_.id, *code);
      if (dialog_.ended()) return 0;
      SyncList();
    }
  }
  LRESULT result = CallOriginal(message, wparam, lparam);
  ReadTopIndex();
  return result;
}

std::string Win32Control::GetText() const {
  if (list_) {
    if (!is_combo()) return std::string();
    std::string text;
    list_->Text(list_->GetCurSel(), &text);
    return text;
  }
  return WindowText(hwnd_);
}

void Win32Control::SetText(std::string_view text) {
  if (list_) return;
  // The program's own change is no user's: the edit's change notification is not passed on.
  syncing_ = true;
  ::SetWindowTextA(hwnd_, std::string(text).c_str());
  syncing_ = false;
}

void Win32Control::Enable(bool enable) {
  // A control that is disabled loses the focus silently, as on the other backends.
  ::EnableWindow(hwnd_, enable ? TRUE : FALSE);
  if (!enable) dialog_.ForgetFocus(t_.id);
}

int Win32Control::GetCheck() const {
  if (t_.kind == ControlKind::kCheckBox || t_.kind == ControlKind::kRadioButton) {
    return ::SendMessageA(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED ? kChecked : kUnchecked;
  }
  return check_;
}

void Win32Control::SetCheck(int state) {
  check_ = state;
  if (t_.kind == ControlKind::kCheckBox || t_.kind == ControlKind::kRadioButton) {
    ::SendMessageA(hwnd_, BM_SETCHECK, state == kChecked ? BST_CHECKED : BST_UNCHECKED, 0);
  }
}

void Win32Control::SetLimitText(int limit) {
  limit_ = limit;
  if (t_.kind == ControlKind::kEdit) {
    ::SendMessageA(hwnd_, EM_LIMITTEXT, static_cast<WPARAM>(GetLimitText()), 0);
  }
}

Rect Win32Control::GetRect() const {
  RECT r{};
  ::GetWindowRect(hwnd_, &r);
  ::MapWindowPoints(HWND_DESKTOP, dialog_.hwnd(), reinterpret_cast<POINT*>(&r), 2);
  return {r.left, r.top, r.right, r.bottom};
}

void Win32Control::SetRect(const Rect& rect) {
  ::MoveWindow(hwnd_, rect.left, rect.top, rect.width(), rect.height(), TRUE);
  ReadTopIndex();
}

int Win32Control::TextWidth(std::string_view text) const {
  HDC dc = ::GetDC(hwnd_);
  if (dc == nullptr) return 0;
  auto font = reinterpret_cast<HFONT>(::SendMessageA(hwnd_, WM_GETFONT, 0, 0));
  int width = TextExtent(dc, font, text);
  ::ReleaseDC(hwnd_, dc);
  return width;
}

void Win32Control::SetTabStops(const std::vector<int>& dialog_units) {
  tab_stops_ = dialog_units;
  if (!is_list()) return;
  std::vector<INT> stops(dialog_units.begin(), dialog_units.end());
  ::SendMessageA(hwnd_, LB_SETTABSTOPS, stops.size(),
                 stops.empty() ? 0 : reinterpret_cast<LPARAM>(stops.data()));
  ::InvalidateRect(hwnd_, nullptr, TRUE);
}

void Win32Control::SetHorizontalExtent(int pixels) {
  if (is_list()) ::SendMessageA(hwnd_, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(pixels), 0);
}

int Win32Control::GetHorizontalExtent() const {
  if (!is_list()) return 0;
  return static_cast<int>(::SendMessageA(hwnd_, LB_GETHORIZONTALEXTENT, 0, 0));
}

int Win32Control::GetItemHeight() const {
  if (!list_) return 0;
  LRESULT height = ::SendMessageA(hwnd_, Msg(LB_GETITEMHEIGHT, CB_GETITEMHEIGHT), 0, 0);
  return height == LB_ERR ? 0 : static_cast<int>(height);
}

ScrollInfo Win32Control::GetVerticalScroll() const {
  if (!list_) return ScrollInfo{};
  const_cast<Win32Control*>(this)->SyncList();
  return list_->VerticalScroll(VisibleRows());
}

void Win32Control::ListChanged() {
  if (!list_) return;
  // Filling a long list calls this once an entry: the native list catches up once, later (or
  // before the user's next action on it reaches the list).
  dirty_ = true;
  dialog_.PostSync();
}

void Win32Control::SyncList() {
  if (!list_ || !dirty_) return;
  dirty_ = false;
  syncing_ = true;
  const bool combo = is_combo();
  ::SendMessageA(hwnd_, WM_SETREDRAW, FALSE, 0);
  const int count = list_->Count();
  // Entries that did not change stay: the viewer appends batches to a long list.
  size_t same = 0;
  std::string text;
  while (same < shown_.size() && static_cast<int>(same) < count) {
    list_->Text(static_cast<int>(same), &text);
    if (text != shown_[same]) break;
    ++same;
  }
  for (size_t i = shown_.size(); i > same; --i) {
    ::SendMessageA(hwnd_, Msg(LB_DELETESTRING, CB_DELETESTRING), i - 1, 0);
  }
  shown_.resize(same);
  for (int i = static_cast<int>(same); i < count; ++i) {
    list_->Text(i, &text);
    ::SendMessageA(hwnd_, Msg(LB_INSERTSTRING, CB_INSERTSTRING), static_cast<WPARAM>(i),
                   reinterpret_cast<LPARAM>(text.c_str()));
    shown_.push_back(text);
  }
  for (int i = 0; i < count; ++i) {
    ::SendMessageA(hwnd_, Msg(LB_SETITEMDATA, CB_SETITEMDATA), static_cast<WPARAM>(i),
                   static_cast<LPARAM>(list_->GetData(i)));
  }
  if (combo || !list_->multiple_selection()) {
    ::SendMessageA(hwnd_, Msg(LB_SETCURSEL, CB_SETCURSEL), static_cast<WPARAM>(list_->GetCurSel()),
                   0);
  } else {
    ::SendMessageA(hwnd_, LB_SETSEL, FALSE, -1);
    for (int i : list_->GetSelItems()) ::SendMessageA(hwnd_, LB_SETSEL, TRUE, i);
    if (list_->caret() >= 0) ::SendMessageA(hwnd_, LB_SETCARETINDEX, list_->caret(), FALSE);
  }
  // The top index only when the program moved it: the selection above may have scrolled the
  // list, and the user's scrolling is already the model's.
  if (!combo && list_->top_index() != synced_top_) {
    ::SendMessageA(hwnd_, LB_SETTOPINDEX, static_cast<WPARAM>(list_->top_index()), 0);
  }
  ::SendMessageA(hwnd_, WM_SETREDRAW, TRUE, 0);
  ::InvalidateRect(hwnd_, nullptr, TRUE);
  syncing_ = false;
  ReadTopIndex();
}

void Win32Control::ReadSelection() {
  if (!list_ || dirty_) return;  // the native list shows an older state; the model stands
  const int count = list_->Count();
  if (static_cast<int>(::SendMessageA(hwnd_, Msg(LB_GETCOUNT, CB_GETCOUNT), 0, 0)) != count) return;
  if (is_combo() || !list_->multiple_selection()) {
    int current = static_cast<int>(::SendMessageA(hwnd_, Msg(LB_GETCURSEL, CB_GETCURSEL), 0, 0));
    if (current < 0 || current >= count) {
      list_->ClearSelection();
    } else {
      list_->SelectOnly(current);
    }
  } else {
    list_->SetSel(-1, false);
    for (int i = 0; i < count; ++i) {
      if (::SendMessageA(hwnd_, LB_GETSEL, static_cast<WPARAM>(i), 0) > 0) list_->SetSel(i, true);
    }
    int caret = static_cast<int>(::SendMessageA(hwnd_, LB_GETCARETINDEX, 0, 0));
    if (caret >= 0 && caret < count) list_->SetSel(caret, list_->GetSel(caret) > 0);
  }
  ReadTopIndex();
}

void Win32Control::ReadTopIndex() {
  if (!is_list() || dirty_ || syncing_) return;
  int top = static_cast<int>(::SendMessageA(hwnd_, LB_GETTOPINDEX, 0, 0));
  if (top >= 0 && list_->SetTopIndex(top) == 0) synced_top_ = top;
}

// --- dialogs ----------------------------------------------------------------------------------

Win32Dialog::Win32Dialog(Dialog& dialog, const DialogTemplate& t, HWND owner)
    : dialog_(dialog), t_(t), colors_(DialogColors()) {
  background_ = ::CreateSolidBrush(ToColorRef(colors_.background));
  std::vector<uint16_t> words = BuildDialogTemplate(t);
  if (owner != nullptr && ::IsWindow(owner)) {
    owner = ::GetAncestor(owner, GA_ROOT);
  } else {
    owner = nullptr;
  }
  ::CreateDialogIndirectParamA(ModuleInstance(), reinterpret_cast<LPCDLGTEMPLATEA>(words.data()),
                               owner, &DialogProc, reinterpret_cast<LPARAM>(this));
  if (hwnd_ == nullptr) return;
  for (const ControlTemplate& c : t.controls) {
    if (c.id == kIdStatic && c.kind != ControlKind::kIcon) continue;
    // Controls without an id share 0xFFFF: the icon is found by its place among the children.
    HWND child = nullptr;
    if (c.id != kIdStatic) {
      child = ::GetDlgItem(hwnd_, c.id);
    } else {
      int index = static_cast<int>(&c - t.controls.data());
      child = ::GetWindow(hwnd_, GW_CHILD);
      for (int i = 0; child != nullptr && i < index; ++i) child = ::GetWindow(child, GW_HWNDNEXT);
    }
    if (child != nullptr) controls_.push_back(std::make_unique<Win32Control>(*this, c, child));
  }
  if (t.menu != 0) BuildMenu(t.menu);
  Size client = GetClientSize();
  last_client_ = client;
  constructed_ = true;
}

Win32Dialog::~Win32Dialog() {
  closing_ = true;
  controls_.clear();
  if (hwnd_ != nullptr) {
    HWND hwnd = hwnd_;
    ::DestroyWindow(hwnd);  // the menu goes with it
  }
  if (background_) ::DeleteObject(background_);
}

void Win32Dialog::BuildMenu(int menu_id) {
  const MenuTemplate* m = FindMenuTemplate(menu_id);
  if (m == nullptr) return;
  HMENU bar = ::CreateMenu();
  for (const MenuPopupTemplate& p : m->popups) {
    HMENU popup = ::CreatePopupMenu();
    for (const MenuItemTemplate& item : p.items) {
      if (item.separator) {
        ::AppendMenuA(popup, MF_SEPARATOR, 0, nullptr);
        continue;
      }
      ::AppendMenuA(popup, MF_STRING | (item.checked ? MF_CHECKED : MF_UNCHECKED),
                    static_cast<UINT_PTR>(item.id), item.text.c_str());
      menu_ids_.push_back(item.id);
    }
    ::AppendMenuA(bar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(popup), p.text.c_str());
  }
  // The template's size is the client area's: the window grows by the menu bar.
  RECT before{};
  ::GetClientRect(hwnd_, &before);
  ::SetMenu(hwnd_, bar);
  menu_ = bar;
  RECT after{};
  ::GetClientRect(hwnd_, &after);
  RECT window{};
  ::GetWindowRect(hwnd_, &window);
  int grow = (before.bottom - before.top) - (after.bottom - after.top);
  if (grow > 0) {
    ::SetWindowPos(hwnd_, nullptr, 0, 0, window.right - window.left,
                   window.bottom - window.top + grow, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void Win32Dialog::SetFocus(int id) {
  Win32Control* c = FindControl(id);
  // The native focus moves once the window is shown (RunModal); the dialog's at once.
  if (c != nullptr && ::IsWindowVisible(hwnd_) && c->IsEnabled() && c->IsVisible()) {
    ::SendMessageA(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(c->hwnd()), TRUE);
  }
  MoveFocus(id);
}

WindowPlacement Win32Dialog::GetPlacement() const {
  WINDOWPLACEMENT wp{};
  wp.length = sizeof wp;
  ::GetWindowPlacement(hwnd_, &wp);
  WindowPlacement p;
  p.flags = wp.flags;
  p.show_cmd = wp.showCmd;
  p.min_position = {wp.ptMinPosition.x, wp.ptMinPosition.y};
  p.max_position = {wp.ptMaxPosition.x, wp.ptMaxPosition.y};
  p.normal_position = {wp.rcNormalPosition.left, wp.rcNormalPosition.top, wp.rcNormalPosition.right,
                       wp.rcNormalPosition.bottom};
  return p;
}

void Win32Dialog::SetPlacement(const WindowPlacement& p) {
  WINDOWPLACEMENT wp{};
  wp.length = sizeof wp;
  wp.flags = p.flags;
  wp.showCmd = p.show_cmd;
  wp.ptMinPosition = {p.min_position.x, p.min_position.y};
  wp.ptMaxPosition = {p.max_position.x, p.max_position.y};
  wp.rcNormalPosition = {p.normal_position.left, p.normal_position.top, p.normal_position.right,
                         p.normal_position.bottom};
  ::SetWindowPlacement(hwnd_, &wp);
}

INT_PTR CALLBACK Win32Dialog::DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<Win32Dialog*>(lparam);
    self->hwnd_ = hwnd;
    ::SetPropA(hwnd, kDialogProperty, self);
    return FALSE;  // the focus is the dialog code's to set
  }
  auto* self = static_cast<Win32Dialog*>(::GetPropA(hwnd, kDialogProperty));
  if (self == nullptr) return FALSE;
  if (message == WM_NCDESTROY) {
    ::RemovePropA(hwnd, kDialogProperty);
    self->hwnd_ = nullptr;
    return FALSE;
  }
  return self->Handle(message, wparam, lparam);
}

INT_PTR Win32Dialog::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CTLCOLORDLG:
      return reinterpret_cast<INT_PTR>(background_);
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      HDC dc = reinterpret_cast<HDC>(wparam);
      ::SetTextColor(dc, ToColorRef(colors_.text));
      ::SetBkColor(dc, ToColorRef(colors_.background));
      return reinterpret_cast<INT_PTR>(background_);
    }
    case WM_COMMAND:
      Command(LOWORD(wparam), HIWORD(wparam), reinterpret_cast<HWND>(lparam));
      return TRUE;
    case WM_CLOSE:
      if (live() && running_) dialog_.HandleClose();
      return TRUE;
    case WM_SIZE: {
      Size now{LOWORD(lparam), HIWORD(lparam)};
      if (wparam != SIZE_MINIMIZED && live() && !(now == last_client_)) {
        last_client_ = now;
        dialog_.HandleSize(now.cx, now.cy);
      }
      return FALSE;
    }
    case kSyncListsMessage:
      SyncLists();
      return TRUE;
    default:
      return FALSE;
  }
}

void Win32Dialog::Command(int id, int code, HWND control) {
  if (!live()) return;
  if (control == nullptr) {
    // A menu item, or OK and Cancel sent without a button (a dialog without a Cancel button
    // is still closed by Escape).
    if (code == 0 && HasMenuItem(id)) {
      UINT state = ::GetMenuState(menu_, static_cast<UINT>(id), MF_BYCOMMAND);
      if (state != static_cast<UINT>(-1) && !(state & (MF_GRAYED | MF_DISABLED)))
        dialog_.HandleCommand(id, Notify::kMenu);
      return;
    }
    if (id == IDCANCEL) return Escape();
    if (id == IDOK) dialog_.HandleCommand(kIdOk, Notify::kClicked);
    return;
  }
  auto* c = static_cast<Win32Control*>(::GetPropA(control, kControlProperty));
  if (c == nullptr) return;
  const ControlTemplate& t = c->Template();
  switch (t.kind) {
    case ControlKind::kPushButton:
    case ControlKind::kCheckBox:
    case ControlKind::kRadioButton:
      if (code != BN_CLICKED) return;
      // Enter and Escape name the default and Cancel buttons even when they are disabled.
      if (!c->IsEnabled()) {
        ::MessageBeep(0);
        return;
      }
      // A click has moved the native focus already (and the dialog's with it); Enter on the
      // default button moves none.
      Notify(t.id, Notify::kClicked);
      return;
    case ControlKind::kEdit:
      if (code == EN_CHANGE && !c->syncing()) Notify(t.id, Notify::kChange);
      return;
    case ControlKind::kListBox:
      if (code == LBN_SELCHANGE || code == LBN_DBLCLK) {
        c->ReadSelection();
        Notify(t.id, Notify::kSelChange);
        if (code == LBN_DBLCLK && !ended_) Notify(t.id, Notify::kDoubleClick);
      }
      return;
    case ControlKind::kComboBox:
      if (code == CBN_SELCHANGE && !c->syncing()) {
        c->ReadSelection();
        Notify(t.id, Notify::kSelChange);
      }
      return;
    default:
      return;
  }
}

int Win32Dialog::RunModal() {
  if (ended_ || hwnd_ == nullptr) return result_;
  SyncLists();
  open_dialogs.push_back(this);
  running_ = true;
  HWND owner = ::GetWindow(hwnd_, GW_OWNER);
  const bool disable_owner = owner != nullptr && ::IsWindowEnabled(owner);
  if (disable_owner) ::EnableWindow(owner, FALSE);

  // Showing activates the window and the dialog manager focuses a control of its own choice:
  // the dialog's focus stands and the native one follows it.
  suppress_focus_ = true;
  if (!::IsWindowVisible(hwnd_)) ::ShowWindow(hwnd_, SW_SHOW);
  if (Win32Control* focused = FindControl(focus_);
      focused != nullptr && focused->IsEnabled() && focused->IsVisible()) {
    ::SendMessageA(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(focused->hwnd()), TRUE);
  } else if (focus_ == 0) {
    HWND now = ::GetFocus();
    if (now != nullptr && ::IsChild(hwnd_, now)) {
      if (auto* c = static_cast<Win32Control*>(::GetPropA(now, kControlProperty)))
        focus_ = c->Template().id == kIdStatic ? 0 : c->Template().id;
    }
  }
  suppress_focus_ = false;
  ::UpdateWindow(hwnd_);

  MSG msg;
  while (!ended_) {
    if (!::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) SyncLists();
    BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
    if (got == -1) {
      EndModal(kIdCancel);
      break;
    }
    if (got == 0) {
      // The program is quitting: the dialog ends as cancelled and the host's loop sees the quit.
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      EndModal(kIdCancel);
      break;
    }
    if (!::IsDialogMessageA(hwnd_, &msg)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
  }

  // The owner is enabled before the dialog hides, so that it is activated again.
  if (disable_owner) ::EnableWindow(owner, TRUE);
  ::SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0,
                 SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  if (owner != nullptr && ::GetActiveWindow() == hwnd_) ::SetActiveWindow(owner);
  running_ = false;
  open_dialogs.erase(std::remove(open_dialogs.begin(), open_dialogs.end(), this),
                     open_dialogs.end());
  return result_;
}

// --- message boxes ----------------------------------------------------------------------------

namespace {

// The message box being created on this thread is painted in the dialog colours.
struct MessageBoxColors {
  HHOOK hook = nullptr;
  HBRUSH brush = nullptr;
  DialogColorScheme colors;
  WNDPROC original = nullptr;
  HWND box = nullptr;
};
thread_local MessageBoxColors* box_colors = nullptr;

LRESULT CALLBACK MessageBoxProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  MessageBoxColors* state = box_colors;
  if (state == nullptr || state->box != hwnd) {
    auto original = reinterpret_cast<WNDPROC>(::GetPropA(hwnd, "talmor.box"));
    return original ? ::CallWindowProcA(original, hwnd, message, wparam, lparam)
                    : ::DefWindowProcA(hwnd, message, wparam, lparam);
  }
  switch (message) {
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORMSGBOX:
      return reinterpret_cast<LRESULT>(state->brush);
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      HDC dc = reinterpret_cast<HDC>(wparam);
      ::SetTextColor(dc, ToColorRef(state->colors.text));
      ::SetBkColor(dc, ToColorRef(state->colors.background));
      return reinterpret_cast<LRESULT>(state->brush);
    }
    case WM_NCDESTROY: {
      WNDPROC original = state->original;
      ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
      ::RemovePropA(hwnd, "talmor.box");
      state->box = nullptr;
      return ::CallWindowProcA(original, hwnd, message, wparam, lparam);
    }
    default:
      return ::CallWindowProcA(state->original, hwnd, message, wparam, lparam);
  }
}

LRESULT CALLBACK MessageBoxHook(int code, WPARAM wparam, LPARAM lparam) {
  MessageBoxColors* state = box_colors;
  if (state != nullptr && code == HCBT_CREATEWND && state->box == nullptr &&
      state->original == nullptr) {
    auto hwnd = reinterpret_cast<HWND>(wparam);
    char name[16] = "";
    ::GetClassNameA(hwnd, name, sizeof name);
    if (std::string_view(name) == "#32770") {
      state->box = hwnd;
      state->original = reinterpret_cast<WNDPROC>(
          ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MessageBoxProc)));
      ::SetPropA(hwnd, "talmor.box", reinterpret_cast<HANDLE>(state->original));
    }
  }
  return ::CallNextHookEx(state ? state->hook : nullptr, code, wparam, lparam);
}

}  // namespace

// --- the backend ------------------------------------------------------------------------------

Win32Backend::Win32Backend() = default;
Win32Backend::~Win32Backend() = default;

std::unique_ptr<DialogPeer> Win32Backend::CreateDialogPeer(Dialog& dialog, const DialogTemplate& t,
                                                           WindowHandle owner) {
  auto peer = std::make_unique<Win32Dialog>(dialog, t, static_cast<HWND>(owner));
  if (!peer->created()) return nullptr;
  return peer;
}

int Win32Backend::ShowMessageBox(WindowHandle owner, std::string_view text,
                                 std::string_view caption, unsigned style) {
  const unsigned buttons = MessageBoxButtons(style);
  const int fallback = DismissAnswer(buttons);
  unsigned icon = style & kMbIconMask;
  if (icon != kMbIconStop && icon != kMbIconQuestion && icon != kMbIconExclamation &&
      icon != kMbIconInformation) {
    icon = 0;
  }
  // The style values are the platform's own: buttons and icon pass unchanged.
  HWND owner_hwnd = static_cast<HWND>(owner);
  if (owner_hwnd != nullptr && !::IsWindow(owner_hwnd)) owner_hwnd = nullptr;

  MessageBoxColors state;
  state.colors = DialogColors();
  state.brush = ::CreateSolidBrush(ToColorRef(state.colors.background));
  MessageBoxColors* previous = box_colors;
  box_colors = &state;
  state.hook = ::SetWindowsHookExA(WH_CBT, &MessageBoxHook, nullptr, ::GetCurrentThreadId());
  int answer = ::MessageBoxA(owner_hwnd, std::string(text).c_str(), std::string(caption).c_str(),
                             buttons | icon);
  if (state.hook) ::UnhookWindowsHookEx(state.hook);
  box_colors = previous;
  ::DeleteObject(state.brush);
  switch (answer) {
    case IDOK:
      return kIdOk;
    case IDCANCEL:
      return kIdCancel;
    case IDYES:
      return kIdYes;
    case IDNO:
      return kIdNo;
    default:
      return fallback;
  }
}

Size Win32Backend::DialogBaseUnits() const {
  LONG units = ::GetDialogBaseUnits();
  return {LOWORD(units), HIWORD(units)};
}

int Win32Backend::TextWidth(std::string_view text) const {
  static HFONT font = CreateTemplateFont("MS Sans Serif", 8);
  HDC dc = ::GetDC(nullptr);
  int width = TextExtent(dc, font, text);
  ::ReleaseDC(nullptr, dc);
  return width;
}

Size Win32Backend::ScreenSize() const {
  return {::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
}

bool Win32Backend::PreTranslateMessage(const MessageRecord& record) {
  const bool input = (record.message >= WM_KEYFIRST && record.message <= WM_KEYLAST) ||
                     (record.message >= WM_MOUSEFIRST && record.message <= WM_MOUSELAST);
  if (!input || record.hwnd == nullptr) return false;
  HWND target = static_cast<HWND>(record.hwnd);
  for (auto it = open_dialogs.rbegin(); it != open_dialogs.rend(); ++it) {
    HWND dialog = (*it)->hwnd();
    if (dialog == nullptr || (target != dialog && !::IsChild(dialog, target))) continue;
    MSG msg{};
    msg.hwnd = target;
    msg.message = record.message;
    msg.wParam = static_cast<WPARAM>(record.wparam);
    msg.lParam = static_cast<LPARAM>(record.lparam);
    msg.time = record.time;
    msg.pt = {record.pt.x, record.pt.y};
    return ::IsDialogMessageA(dialog, &msg) != FALSE;
  }
  return false;
}

Dialog* Win32Backend::InnermostDialog() {
  return open_dialogs.empty() ? nullptr : &open_dialogs.back()->dialog();
}

namespace {
std::unique_ptr<Backend> MakeWin32() { return std::make_unique<Win32Backend>(); }
bool DisplayAvailable() { return ::GetSystemMetrics(SM_CXSCREEN) > 0; }

const bool registered = [] {
  RegisterBackend("win32", true, &DisplayAvailable, &MakeWin32);
  return true;
}();
}  // namespace

}  // namespace talmor
