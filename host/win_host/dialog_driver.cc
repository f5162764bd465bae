#include "dialog_driver.h"

#include <cstring>

namespace win_host {
namespace {

constexpr UINT kSendTimeoutMs = 2000;

LRESULT Send(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  DWORD_PTR result = 0;
  if (!::SendMessageTimeoutA(hwnd, message, wparam, lparam, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             &result)) {
    return -1;
  }
  return static_cast<LRESULT>(result);
}

bool IsDialogClass(HWND hwnd) {
  char name[16] = "";
  ::GetClassNameA(hwnd, name, sizeof name);
  return std::strcmp(name, "#32770") == 0;
}

struct Search {
  const DialogDriver* driver;
  std::string caption;
  int control_id;  // 0: a message box
  HWND other_than;
  HWND found;
};

BOOL CALLBACK FindDialog(HWND hwnd, LPARAM lparam) {
  auto* s = reinterpret_cast<Search*>(lparam);
  if (!::IsWindowVisible(hwnd) || !IsDialogClass(hwnd) || hwnd == s->other_than) return TRUE;
  if (s->driver->Text(hwnd) != s->caption) return TRUE;
  const bool match = s->control_id != 0 ? ::GetDlgItem(hwnd, s->control_id) != nullptr
                                        : ::GetDlgItem(hwnd, 1000) == nullptr;
  if (!match) return TRUE;
  s->found = hwnd;
  return FALSE;
}

BOOL CALLBACK CancelDialog(HWND hwnd, LPARAM) {
  if (::IsWindowVisible(hwnd) && IsDialogClass(hwnd)) {
    ::PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(hwnd, IDCANCEL)));
    ::PostMessageA(hwnd, WM_CLOSE, 0, 0);
  }
  return TRUE;
}

struct Labels {
  const DialogDriver* driver;
  std::string text;
};

BOOL CALLBACK CollectLabel(HWND hwnd, LPARAM lparam) {
  auto* labels = reinterpret_cast<Labels*>(lparam);
  char name[16] = "";
  ::GetClassNameA(hwnd, name, sizeof name);
  if (_stricmp(name, "Static") == 0) {
    if (!labels->text.empty()) labels->text += "\n";
    labels->text += labels->driver->Text(hwnd);
  }
  return TRUE;
}

}  // namespace

DialogDriver::DialogDriver(DWORD ui_thread, DWORD deadline_ms)
    : ui_thread_(ui_thread), deadline_(::GetTickCount() + deadline_ms) {}

HWND DialogDriver::WaitForDialog(const char* caption, int control_id) {
  while (!TimedOut()) {
    Search s{this, caption, control_id, nullptr, nullptr};
    ::EnumThreadWindows(ui_thread_, &FindDialog, reinterpret_cast<LPARAM>(&s));
    if (s.found != nullptr) return s.found;
    ::Sleep(20);
  }
  return nullptr;
}

HWND DialogDriver::WaitForMessageBox(const char* caption, HWND other_than) {
  while (!TimedOut()) {
    Search s{this, caption, 0, other_than, nullptr};
    ::EnumThreadWindows(ui_thread_, &FindDialog, reinterpret_cast<LPARAM>(&s));
    if (s.found != nullptr) return s.found;
    ::Sleep(20);
  }
  return nullptr;
}

bool DialogDriver::WaitUntilClosed(HWND hwnd) {
  while (!TimedOut()) {
    if (!::IsWindow(hwnd) || !::IsWindowVisible(hwnd)) return true;
    ::Sleep(20);
  }
  return false;
}

bool DialogDriver::WaitUntil(const std::function<bool()>& condition) {
  while (!TimedOut()) {
    if (condition()) return true;
    ::Sleep(20);
  }
  return condition();
}

bool DialogDriver::Type(HWND dialog, int id, const std::string& text) {
  HWND edit = ::GetDlgItem(dialog, id);
  if (edit == nullptr) return false;
  // Select everything and type over it: the first character (or a backspace) replaces it.
  if (Send(edit, EM_SETSEL, 0, -1) == -1) return false;
  Send(edit, WM_CHAR, VK_BACK, 1);
  for (char c : text) {
    if (Send(edit, WM_CHAR, static_cast<unsigned char>(c), 1) == -1) return false;
  }
  return true;
}

void DialogDriver::Press(HWND dialog, int id) {
  // Posted, not sent: the button's action may open a message box with a loop of its own.
  ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

void DialogDriver::Key(HWND dialog, int id, WPARAM virtual_key) {
  HWND target = ::GetDlgItem(dialog, id);
  if (target == nullptr) target = dialog;
  const UINT scan = ::MapVirtualKeyA(static_cast<UINT>(virtual_key), MAPVK_VK_TO_VSC);
  ::PostMessageA(target, WM_KEYDOWN, virtual_key, 1 | (static_cast<LPARAM>(scan) << 16));
  ::PostMessageA(target, WM_KEYUP, virtual_key,
                 1 | (static_cast<LPARAM>(scan) << 16) | (LPARAM{3} << 30));
}

bool DialogDriver::Menu(HWND dialog, int id) {
  HMENU menu = ::GetMenu(dialog);
  if (menu == nullptr) return false;
  const UINT state = ::GetMenuState(menu, static_cast<UINT>(id), MF_BYCOMMAND);
  if (state == static_cast<UINT>(-1) || (state & (MF_GRAYED | MF_DISABLED)) != 0) return false;
  // What the menu sends for a chosen item: notification code 0 and no control.
  return ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, 0), 0) != 0;
}

int DialogDriver::MenuChecked(HWND dialog, int id) const {
  HMENU menu = ::GetMenu(dialog);
  if (menu == nullptr) return -1;
  const UINT state = ::GetMenuState(menu, static_cast<UINT>(id), MF_BYCOMMAND);
  if (state == static_cast<UINT>(-1)) return -1;
  return (state & MF_CHECKED) != 0 ? 1 : 0;
}

std::string DialogDriver::MenuText(HWND dialog, int id) const {
  HMENU menu = ::GetMenu(dialog);
  if (menu == nullptr) return std::string();
  char text[128] = "";
  const int length =
      ::GetMenuStringA(menu, static_cast<UINT>(id), text, sizeof text, MF_BYCOMMAND);
  return std::string(text, length > 0 ? static_cast<size_t>(length) : 0);
}

bool DialogDriver::ClickListItem(HWND dialog, int id, int index, bool double_click) {
  HWND list = ::GetDlgItem(dialog, id);
  if (list == nullptr) return false;
  const LRESULT count = Send(list, LB_GETCOUNT, 0, 0);
  if (index < 0 || index >= count) return false;
  // A click reaches only a line in view.
  RECT r{}, client{};
  if (Send(list, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r)) ==
          LB_ERR ||
      !::GetClientRect(list, &client) || r.top < client.top || r.bottom > client.bottom) {
    return false;
  }
  const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  ::PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
  ::PostMessageA(list, WM_LBUTTONUP, 0, at);
  if (double_click) {
    ::PostMessageA(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    ::PostMessageA(list, WM_LBUTTONUP, 0, at);
  }
  return true;
}

int DialogDriver::ListSelection(HWND dialog, int id) const {
  HWND list = ::GetDlgItem(dialog, id);
  if (list == nullptr) return -1;
  return static_cast<int>(Send(list, LB_GETCURSEL, 0, 0));
}

std::string DialogDriver::Text(HWND window) const {
  if (window == nullptr) return std::string();
  LRESULT length = Send(window, WM_GETTEXTLENGTH, 0, 0);
  if (length <= 0) return std::string();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  LRESULT got = Send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return text;
}

std::string DialogDriver::StaticTexts(HWND dialog) const {
  Labels labels{this, {}};
  ::EnumChildWindows(dialog, &CollectLabel, reinterpret_cast<LPARAM>(&labels));
  return labels.text;
}

// An audit record, and so any line shown for it, is shorter than 64 KiB.
constexpr size_t kLongestListLine = 65536;

std::vector<std::string> DialogDriver::ListItems(HWND dialog, int id) const {
  std::vector<std::string> items;
  HWND list = ::GetDlgItem(dialog, id);
  if (list == nullptr) return items;
  LRESULT count = Send(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    // LB_GETTEXT takes no buffer size, and the UI thread may refill the list between the two
    // messages (the viewer does when its order changes): the buffer also has room for the
    // longest line any of the library's lists can hold, a line made from one audit record.
    LRESULT length = Send(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
    if (length < 0) break;
    std::string text(static_cast<size_t>(length) + kLongestListLine + 1, '\0');
    LRESULT got = Send(list, LB_GETTEXT, static_cast<WPARAM>(i),
                       reinterpret_cast<LPARAM>(text.data()));
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    items.push_back(text);
  }
  return items;
}

HWND DialogDriver::Focus() const {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!::GetGUIThreadInfo(ui_thread_, &info)) return nullptr;
  return info.hwndFocus;
}

void DialogDriver::CancelAll() { ::EnumThreadWindows(ui_thread_, &CancelDialog, 0); }

namespace {

struct Run {
  DialogDriver* driver;
  const std::function<bool(DialogDriver&)>* drive;
  HANDLE done;
  bool ok;
};

DWORD WINAPI DriverThread(LPVOID parameter) {
  auto* run = static_cast<Run*>(parameter);
  run->ok = (*run->drive)(*run->driver);
  // A scenario that failed leaves its dialogs to be cancelled; one that went through gives the
  // export until the deadline to return by itself.
  while (::WaitForSingleObject(run->done, 50) == WAIT_TIMEOUT) {
    if (!run->ok || run->driver->TimedOut()) run->driver->CancelAll();
  }
  return 0;
}

}  // namespace

int RunDriven(const std::function<int()>& call, const std::function<bool(DialogDriver&)>& drive,
              DWORD timeout_ms, bool* driven) {
  DialogDriver driver(::GetCurrentThreadId(), timeout_ms);
  Run run{&driver, &drive, ::CreateEventA(nullptr, TRUE, FALSE, nullptr), false};
  HANDLE thread = ::CreateThread(nullptr, 0, &DriverThread, &run, 0, nullptr);
  const int result = call();
  ::SetEvent(run.done);
  if (thread != nullptr) {
    ::WaitForSingleObject(thread, INFINITE);
    ::CloseHandle(thread);
  }
  ::CloseHandle(run.done);
  if (driven != nullptr) *driven = run.ok && thread != nullptr;
  return result;
}

}  // namespace win_host
