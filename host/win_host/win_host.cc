// A host program for Windows: loads TALMOR32.DLL at run time as the host application does and
// checks its export table and a few calls, then logs on, edits users and reads the audit trail
// through the library's real dialogs, driven from a second thread as a user would.
// Usage: win_host [--screenshot] [--windir DIR] [--share DIR] [path-of-TALMOR32.DLL]
// --windir and --share set QUORVANE_WINDIR and QVSHARE_DIR with SetEnvironmentVariableW just
// before the library is loaded, as a host does, and the files must then appear there.
// Every check prints "PASS name" or "FAIL name: why"; the last line is "RESULT PASS" or
// "RESULT FAIL (n failed)" and the exit code is 0 only for a pass. With --screenshot the program
// opens the log-on dialog with a name typed in, prints "READY x y width height" (the dialog's
// screen rectangle) and cancels the dialog a few seconds later.

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dialog_driver.h"

#include "qvshare.h"
#include "talmor32.h"

namespace {

std::atomic<int> g_failed{0};

void Check(bool ok, const char* name, const std::string& why = std::string()) {
  if (ok) {
    std::printf("PASS %s\n", name);
  } else {
    ++g_failed;
    std::printf("FAIL %s%s%s\n", name, why.empty() ? "" : ": ", why.c_str());
  }
  std::fflush(stdout);
}

// The directory of this program, where the build puts the DLLs.
std::string ProgramDirectory() {
  char path[MAX_PATH + 1];
  const DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
  std::string dir(path, length);
  const auto slash = dir.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".") : dir.substr(0, slash);
}

template <typename Fn>
Fn Resolve(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

void CheckExportTable(HMODULE module) {
  int by_name = 0;
  int matching = 0;
  for (const TalmorOrdinal& entry : TALMOR_ORDINALS) {
    const FARPROC named = ::GetProcAddress(module, entry.name);
    const FARPROC numbered = ::GetProcAddress(module, MAKEINTRESOURCEA(entry.ordinal));
    if (named != nullptr) ++by_name;
    if (named != nullptr && named == numbered) {
      ++matching;
    } else {
      std::printf("  export %s at ordinal %d: by name %p, by ordinal %p\n", entry.name,
                  entry.ordinal, reinterpret_cast<void*>(named), reinterpret_cast<void*>(numbered));
    }
  }
  Check(by_name == TALMOR_EXPORT_COUNT, "every export found by name",
        std::to_string(by_name) + " of " + std::to_string(TALMOR_EXPORT_COUNT));
  Check(matching == TALMOR_EXPORT_COUNT, "every export found at its ordinal",
        std::to_string(matching) + " of " + std::to_string(TALMOR_EXPORT_COUNT));

  std::string present;
  for (int ordinal : {8, 9, 12, 14, 15, 16, 17, 18, 19}) {
    if (::GetProcAddress(module, MAKEINTRESOURCEA(ordinal)) != nullptr) {
      present += " " + std::to_string(ordinal);
    }
  }
  Check(present.empty(), "ordinals 8, 9, 12 and 14 to 19 are empty", "found at" + present);
  Check(::GetProcAddress(module, MAKEINTRESOURCEA(1)) == nullptr &&
            ::GetProcAddress(module, MAKEINTRESOURCEA(34)) == nullptr,
        "nothing below ordinal 2 or above 33");
  // The undecorated names only: no stdcall-decorated twin is exported.
  Check(::GetProcAddress(module, "_SecurityGetRight@12") == nullptr &&
            ::GetProcAddress(module, "SecurityGetRight@12") == nullptr,
        "no decorated names exported");
  // TalmorResolveOrdinal agrees with the table.
  Check(TalmorResolveOrdinal(module, 31) ==
                reinterpret_cast<void*>(::GetProcAddress(module, "SecurityGetRight")) &&
            TalmorResolveOrdinal(module, 12) == nullptr,
        "TalmorResolveOrdinal");
}

void CheckCalls(HMODULE module) {
  // Reached by ordinal, as a host that imports by number would.
  auto get_right = reinterpret_cast<TalmorGetRightFn>(TalmorResolveOrdinal(module, 31));
  auto enquire = reinterpret_cast<TalmorEnquireFn>(TalmorResolveOrdinal(module, 10));
  auto get_user = reinterpret_cast<TalmorGetUserFn>(TalmorResolveOrdinal(module, 23));
  auto logoff = Resolve<TalmorVoidFn>(module, "SecurityLogoff");
  auto current = Resolve<TalmorGetCurrentUserFn>(module, "SecurityGetCurrentUser");
  auto get_group = Resolve<TalmorGetGroupFn>(module, "SecurityGetGroup");
  if (!get_right || !enquire || !get_user || !logoff || !current || !get_group) {
    Check(false, "exports to call resolved");
    return;
  }

  char right[64];
  std::memset(right, 'x', sizeof right);
  const int32_t got_right = get_right(0, right, sizeof right);
  Check(got_right == 1 && right[0] != '\0' && std::strlen(right) < sizeof right,
        "SecurityGetRight(0) names a right", std::string("result ") + std::to_string(got_right));
  std::printf("  right 0: \"%s\"\n", got_right == 1 ? right : "");

  char small[4];
  std::memset(small, 'x', sizeof small);
  get_right(0, small, sizeof small);
  Check(std::strlen(small) <= 3, "SecurityGetRight cuts to its buffer");
  char untouched = 'x';
  get_right(0, &untouched, 0);
  Check(untouched == 'x', "SecurityGetRight leaves a zero-size buffer alone");

  // Nobody is logged on in a fresh data directory: a null window refuses without a message box
  // (a box would wait for a click and the run would time out).
  Check(logoff() == 1, "SecurityLogoff with nobody logged on");
  Check(enquire(nullptr, 1) == 0, "SecurityEnquire with a null window refuses");

  char name[64] = "x", full[64] = "x", description[128] = "x";
  const int32_t first = get_user(0, name, sizeof name, full, sizeof full, description,
                                 sizeof description);
  Check(first == 1 && name[0] != '\0', "SecurityGetUser(0) finds the built-in account",
        "result " + std::to_string(first));
  std::printf("  user 0: \"%s\" \"%s\" \"%s\"\n", name, full, description);
  char beyond[64] = "unchanged";
  Check(get_user(1000000, beyond, sizeof beyond, nullptr, 0, nullptr, 0) == 0,
        "SecurityGetUser past the last user finds nothing");
  Check(get_user(-1, beyond, sizeof beyond, nullptr, 0, nullptr, 0) == 0,
        "SecurityGetUser(-1) finds nothing");

  char group[64] = "";
  Check(get_group(0, group, sizeof group, nullptr, 0) == 1 && group[0] != '\0',
        "SecurityGetGroup(0) finds the built-in group");

  char user[64] = "x";
  Check(current(user, sizeof user, nullptr, 0, nullptr, 0) == 0,
        "SecurityGetCurrentUser with nobody logged on");
}


// --- the library's dialogs, driven ------------------------------------------------------------

constexpr DWORD kDialogTimeoutMs = 20000;
constexpr int kNameBox = 1000;
constexpr int kPasswordBox = 1001;
constexpr const char* kLogonCaption = "Quorvane Login";
constexpr const char* kManagerCaption = "Quorvane Security Manager";
constexpr int kUserName = 1005;
constexpr int kFullName = 1006;
constexpr int kDescription = 1002;
constexpr int kUserPassword = 1001;
constexpr int kConfirm = 1003;
constexpr int kRightsLabel = 1004;
constexpr int kRights = 1007;

struct Exports {
  TalmorWindowFn login = nullptr;
  TalmorGetCurrentUserFn current = nullptr;
  TalmorNamedFn edit_user = nullptr;
  TalmorGetUserFn get_user = nullptr;
  TalmorGetRightFn get_right = nullptr;
  TalmorFilterDllMsgFn filter = nullptr;
  TalmorNoteFn note = nullptr;
  TalmorEnquireFn enquire = nullptr;
  TalmorWindowFn log_view = nullptr;
};

bool Resolved(const Exports& e) {
  return e.login && e.current && e.edit_user && e.get_user && e.get_right && e.filter &&
         e.note && e.enquire && e.log_view;
}

// The full name stored for `user`, found by enumerating the users; false when there is none.
bool FullNameOf(const Exports& e, const char* user, std::string* full_name) {
  for (int32_t i = 0; i < 1000; ++i) {
    char name[64] = "", full[64] = "";
    if (e.get_user(i, name, sizeof name, full, sizeof full, nullptr, 0) == 0) break;
    if (_stricmp(name, user) == 0) {
      *full_name = full;
      return true;
    }
  }
  return false;
}

// Fails the scenario with a FAIL line.
bool Fail(const char* name, const std::string& why) {
  Check(false, name, why);
  return false;
}

void CheckLogon(const Exports& e) {
  bool driven = false;
  const int result = win_host::RunDriven(
      [&] { return e.login(nullptr); },
      [&](win_host::DialogDriver& d) {
        HWND dialog = d.WaitForDialog(kLogonCaption, kNameBox);
        if (dialog == nullptr) return Fail("log-on dialog shown", "no window captioned Quorvane Login");
        Check(true, "log-on dialog shown");

        // The dialog as the template and its initialisation make it.
        RECT r{};
        ::GetWindowRect(dialog, &r);
        const int screen_w = ::GetSystemMetrics(SM_CXSCREEN);
        const int screen_h = ::GetSystemMetrics(SM_CYSCREEN);
        const int x = (screen_w - (r.right - r.left)) / 2;
        const int y = (screen_h - (r.bottom - r.top)) / 3;
        Check(r.left == x && r.top == y, "log-on dialog placed at a third of the screen height",
              "at " + std::to_string(r.left) + "," + std::to_string(r.top) + ", expected " +
                  std::to_string(x) + "," + std::to_string(y));
        Check((::GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0,
              "log-on dialog is topmost");
        HWND password = ::GetDlgItem(dialog, kPasswordBox);
        Check((::GetWindowLongA(password, GWL_STYLE) & ES_PASSWORD) != 0,
              "password box masks its characters");
        Check(d.Focus() == ::GetDlgItem(dialog, kNameBox),
              "without a remembered name the caret is in the name box");

        // Typing is cut at the boxes' limits of 16 and 14 characters.
        d.Type(dialog, kNameBox, "ABCDEFGHIJKLMNOPQRST");
        d.Type(dialog, kPasswordBox, "abcdefghijklmnopqrst");
        const std::string cut_name = d.ControlText(dialog, kNameBox);
        const std::string cut_password = d.ControlText(dialog, kPasswordBox);
        Check(cut_name == "ABCDEFGHIJKLMNOP" && cut_password.size() == 14,
              "typing stops at 16 and 14 characters",
              "\"" + cut_name + "\", " + std::to_string(cut_password.size()) + " characters");

        // A wrong password: the stop box, owned by the dialog, which stays open as typed.
        d.Type(dialog, kNameBox, "Administrator");
        d.Type(dialog, kPasswordBox, "wrong");
        d.Press(dialog, IDOK);
        HWND box = d.WaitForMessageBox(kLogonCaption, dialog);
        if (box == nullptr) return Fail("a wrong password shows the failure box", "no box");
        const std::string text = d.StaticTexts(box);
        Check(text.find("Quorvane could not log you on.") != std::string::npos,
              "a wrong password shows the failure box", text);
        Check(::GetWindow(box, GW_OWNER) == dialog, "the failure box is owned by the dialog");
        d.Press(box, IDOK);
        if (!d.WaitUntilClosed(box)) return Fail("the failure box closes with OK", "still open");
        const std::string kept_name = d.ControlText(dialog, kNameBox);
        Check(::IsWindowVisible(dialog) && kept_name == "Administrator",
              "the dialog stays open with the name as typed",
              (::IsWindowVisible(dialog) ? "visible, \"" : "hidden, \"") + kept_name + "\"");

        // The right password, and Enter in the password box for the default button.
        d.Type(dialog, kPasswordBox, "BlueHarbour");
        d.Key(dialog, kPasswordBox, VK_RETURN);
        if (!d.WaitUntilClosed(dialog)) return Fail("Enter logs on", "the dialog is still open");
        return true;
      },
      kDialogTimeoutMs, &driven);
  Check(driven && result == 1, "SecurityLogin through the dialog", "result " + std::to_string(result));
  char user[64] = "";
  e.current(user, sizeof user, nullptr, 0, nullptr, 0);
  Check(std::strcmp(user, "Administrator") == 0, "SecurityGetCurrentUser after the log-on", user);
  char slot[64] = "";
  QVStatusGetString(47, slot, sizeof slot);
  Check(std::strcmp(slot, "Administrator") == 0, "the log-on name is in host status slot 47",
        slot);

  // The second log-on remembers the name and starts in the password box; Escape gives up.
  bool second = false;
  const int again = win_host::RunDriven(
      [&] { return e.login(nullptr); },
      [&](win_host::DialogDriver& d) {
        HWND dialog = d.WaitForDialog(kLogonCaption, kNameBox);
        if (dialog == nullptr) return Fail("second log-on dialog shown", "no window");
        Check(d.ControlText(dialog, kNameBox) == "Administrator",
              "the remembered name is filled in", d.ControlText(dialog, kNameBox));
        Check(d.Focus() == ::GetDlgItem(dialog, kPasswordBox),
              "with a remembered name the caret is in the password box");
        d.Key(dialog, kPasswordBox, VK_ESCAPE);
        if (!d.WaitUntilClosed(dialog)) return Fail("Escape cancels the log-on", "still open");
        return true;
      },
      kDialogTimeoutMs, &second);
  Check(second && again == 0, "Escape cancels the log-on", "result " + std::to_string(again));
}

void CheckUserEdit(const Exports& e) {
  // A new user, typed into the user properties dialog.
  bool driven = false;
  int result = win_host::RunDriven(
      [&] { return e.edit_user(nullptr, nullptr, 0); },
      [&](win_host::DialogDriver& d) {
        HWND dialog = d.WaitForDialog("User Properties", kUserName);
        if (dialog == nullptr) return Fail("new user dialog shown", "no window");
        Check(!d.Enabled(dialog, kRights) && !d.Enabled(dialog, kRightsLabel),
              "a new user has no rights list");
        d.Type(dialog, kUserName, "labuser");
        d.Type(dialog, kFullName, "Lab User");
        d.Type(dialog, kDescription, "Runs the instruments");
        d.Type(dialog, kUserPassword, "secret1");
        d.Type(dialog, kConfirm, "secret1");
        d.Press(dialog, IDOK);
        if (!d.WaitUntilClosed(dialog)) return Fail("new user accepted", "the dialog is still open");
        return true;
      },
      kDialogTimeoutMs, &driven);
  std::string full;
  Check(driven && result == 1 && FullNameOf(e, "labuser", &full) && full == "Lab User",
        "SecurityEditUser adds a new user through the dialog",
        "result " + std::to_string(result) + ", full name \"" + full + "\"");

  // The user edited: the stored entries come back into the boxes, a wrong confirmation is
  // refused with its message, then the new full name is stored.
  result = win_host::RunDriven(
      [&] { return e.edit_user(nullptr, "labuser", 7); },
      [&](win_host::DialogDriver& d) {
        HWND dialog = d.WaitForDialog("User Properties", kUserName);
        if (dialog == nullptr) return Fail("user dialog shown", "no window");
        Check(d.ControlText(dialog, kUserName) == "labuser" &&
                  d.ControlText(dialog, kFullName) == "Lab User" &&
                  d.ControlText(dialog, kDescription) == "Runs the instruments",
              "the user's entries are shown",
              d.ControlText(dialog, kUserName) + " / " + d.ControlText(dialog, kFullName));
        d.Type(dialog, kFullName, "Lab Analyst");
        d.Type(dialog, kConfirm, "secret2");
        d.Press(dialog, IDOK);
        HWND box = d.WaitForMessageBox(kManagerCaption, dialog);
        if (box == nullptr) return Fail("a wrong confirmation is refused", "no message box");
        Check(d.StaticTexts(box).find("The new password was not correctly confirmed.") !=
                  std::string::npos,
              "a wrong confirmation is refused", d.StaticTexts(box));
        d.Press(box, IDOK);
        if (!d.WaitUntilClosed(box)) return Fail("the refusal closes with OK", "still open");
        Check(d.ControlText(dialog, kFullName) == "Lab Analyst",
              "the dialog keeps the entries after a refusal");
        d.Type(dialog, kConfirm, "secret1");
        d.Press(dialog, IDOK);
        if (!d.WaitUntilClosed(dialog)) return Fail("the edit is accepted", "still open");
        return true;
      },
      kDialogTimeoutMs, &driven);
  full.clear();
  Check(driven && result == 1 && FullNameOf(e, "labuser", &full) && full == "Lab Analyst",
        "SecurityEditUser stores the edited full name",
        "result " + std::to_string(result) + ", full name \"" + full + "\"");

  // The built-in account: name, texts and flags locked, its rights listed; Escape leaves it.
  char right0[128] = "";
  e.get_right(0, right0, sizeof right0);
  result = win_host::RunDriven(
      [&] { return e.edit_user(nullptr, "Administrator", 13); },
      [&](win_host::DialogDriver& d) {
        HWND dialog = d.WaitForDialog("User Properties", kUserName);
        if (dialog == nullptr) return Fail("Administrator's dialog shown", "no window");
        Check(!d.Enabled(dialog, kUserName) && !d.Enabled(dialog, kFullName) &&
                  !d.Enabled(dialog, kDescription) && d.Enabled(dialog, kUserPassword) &&
                  d.Enabled(dialog, kConfirm),
              "the built-in account's name and texts are locked, its password is not");
        const std::vector<std::string> rights = d.ListItems(dialog, kRights);
        Check(!rights.empty() && rights.front() == right0,
              "the built-in account's rights are listed",
              std::to_string(rights.size()) + " lines, first \"" +
                  (rights.empty() ? std::string() : rights.front()) + "\"");
        d.Key(dialog, kUserPassword, VK_ESCAPE);
        if (!d.WaitUntilClosed(dialog)) return Fail("Escape closes the dialog", "still open");
        return true;
      },
      kDialogTimeoutMs, &driven);
  Check(driven && result == 0, "Escape leaves the built-in account unchanged",
        "result " + std::to_string(result));
}

// --- FilterDllMsg while a dialog of the library is open ----------------------------------------

// What the host's own code saw when it handed messages to FilterDllMsg from inside the library's
// modal loop (a thread timer of the host, dispatched by that loop, as a host window's handler
// would be).
struct FilterProbe {
  TalmorFilterDllMsgFn filter = nullptr;
  std::atomic<bool> done{false};
  HWND dialog = nullptr;
  int tab_answer = -1;        // Tab in the password box
  bool focus_on_ok = false;   // where the focus went after it
  int null_answer = -1;       // Tab for no window
  int foreign_answer = -1;    // Tab for a window that is not the library's
  int paint_answer = -1;      // a message that is no input, for the dialog
};
FilterProbe* g_probe = nullptr;

BOOL CALLBACK FindLogonDialog(HWND hwnd, LPARAM lparam) {
  char caption[64] = "";
  ::GetWindowTextA(hwnd, caption, sizeof caption);
  if (::IsWindowVisible(hwnd) && std::strcmp(caption, kLogonCaption) == 0 &&
      ::GetDlgItem(hwnd, kPasswordBox) != nullptr) {
    *reinterpret_cast<HWND*>(lparam) = hwnd;
    return FALSE;
  }
  return TRUE;
}

TalmorMessage KeyMessage(HWND target, WPARAM key) {
  TalmorMessage m{};
  m.hwnd = target;
  m.message = WM_KEYDOWN;
  m.wParam = key;
  m.lParam = 1 | (static_cast<LPARAM>(::MapVirtualKeyA(static_cast<UINT>(key), MAPVK_VK_TO_VSC))
                  << 16);
  m.time = ::GetTickCount();
  return m;
}

void CALLBACK ProbeTimer(HWND, UINT, UINT_PTR timer, DWORD) {
  FilterProbe* p = g_probe;
  if (p == nullptr || p->done) return;
  HWND dialog = nullptr;
  ::EnumThreadWindows(::GetCurrentThreadId(), &FindLogonDialog, reinterpret_cast<LPARAM>(&dialog));
  if (dialog == nullptr) return;  // not shown yet: the next tick
  ::KillTimer(nullptr, timer);
  p->dialog = dialog;
  HWND password = ::GetDlgItem(dialog, kPasswordBox);
  ::SetFocus(password);
  TalmorMessage tab = KeyMessage(password, VK_TAB);
  p->tab_answer = p->filter(&tab);
  p->focus_on_ok = ::GetFocus() == ::GetDlgItem(dialog, IDOK);
  TalmorMessage none = KeyMessage(nullptr, VK_TAB);
  p->null_answer = p->filter(&none);
  TalmorMessage foreign = KeyMessage(::GetDesktopWindow(), VK_TAB);
  p->foreign_answer = p->filter(&foreign);
  TalmorMessage paint{};
  paint.hwnd = dialog;
  paint.message = WM_NULL;
  p->paint_answer = p->filter(&paint);
  p->done = true;
}

void CheckFilterInDialog(const Exports& e) {
  FilterProbe probe;
  probe.filter = e.filter;
  g_probe = &probe;
  const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, &ProbeTimer);
  bool driven = false;
  const int result = win_host::RunDriven(
      [&] { return e.login(nullptr); },
      [&](win_host::DialogDriver& d) {
        HWND dialog = d.WaitForDialog(kLogonCaption, kNameBox);
        if (dialog == nullptr) return Fail("log-on dialog for FilterDllMsg", "no window");
        while (!probe.done && !d.TimedOut()) ::Sleep(20);
        if (!probe.done) return Fail("FilterDllMsg probe ran in the dialog's loop", "no tick");
        d.Key(dialog, kPasswordBox, VK_ESCAPE);
        return d.WaitUntilClosed(dialog);
      },
      kDialogTimeoutMs, &driven);
  if (!probe.done) ::KillTimer(nullptr, timer);
  g_probe = nullptr;
  Check(driven && result == 0, "log-on dialog opened and cancelled around FilterDllMsg",
        "result " + std::to_string(result));
  Check(probe.tab_answer != 0 && probe.focus_on_ok,
        "FilterDllMsg takes Tab in the dialog and moves the focus to the next control",
        "answer " + std::to_string(probe.tab_answer) +
            (probe.focus_on_ok ? "" : ", focus not on OK"));
  Check(probe.null_answer == 0 && probe.foreign_answer == 0,
        "FilterDllMsg leaves messages for other windows alone while a dialog is open");
  Check(probe.paint_answer == 0, "FilterDllMsg leaves a message that is no input to the dialog");
  // The dialog is gone: its handle is no window of the library any more.
  TalmorMessage stale = KeyMessage(probe.dialog, VK_TAB);
  Check(probe.dialog != nullptr && e.filter(&stale) == 0,
        "FilterDllMsg ignores the handle of a closed dialog");
}

// --- the audit log viewer ---------------------------------------------------------------------

constexpr const char* kViewerCaption = "Audit Log Viewer";
constexpr const char* kDetailCaption = "Event Detail";
constexpr int kEventList = 1000;
constexpr int kMenuExit = 1;
constexpr int kMenuRefresh = 32771;
constexpr int kMenuClearAll = 32772;
constexpr int kMenuDetail = 32773;
constexpr int kMenuNewestFirst = 32774;
constexpr int kMenuOldestFirst = 32775;
constexpr int kDetailDate = 1002;
constexpr int kDetailTime = 1003;
constexpr int kDetailSource = 1004;
constexpr int kDetailUser = 1005;
constexpr int kDetailDescription = 1006;
constexpr const char* kNoteSource = "WinHost";

// One event's line of the viewer's list cut at its tabs: date, time, user and summary. `whole`
// says the line was exactly four columns each ended by a tab.
struct ViewerLine {
  std::vector<std::string> columns;
  bool whole = false;
};

ViewerLine SplitLine(const std::string& line) {
  ViewerLine split;
  size_t start = 0;
  for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
    split.columns.push_back(line.substr(start, tab - start));
  }
  split.whole = start == line.size() && split.columns.size() == 4;
  if (start < line.size()) split.columns.push_back(line.substr(start));
  return split;
}

// The "OldestFirst" entry of section "AuditLog" in the profile file of the Windows data
// directory, read back with the system's own profile reader ("<none>" when it is not there).
std::string StoredViewerOrder() {
  char dir[MAX_PATH + 1] = "";
  const DWORD length = ::GetEnvironmentVariableA("QUORVANE_WINDIR", dir, sizeof dir);
  if (length == 0 || length >= sizeof dir) return "<QUORVANE_WINDIR not set>";
  const std::string path = std::string(dir, length) + "\\qvtalmor.ini";
  char value[64] = "";
  ::GetPrivateProfileStringA("AuditLog", "OldestFirst", "<none>", value, sizeof value,
                             path.c_str());
  return value;
}

// `text` with its line breaks spelled out, for a FAIL line.
std::string Escaped(const std::string& text) {
  std::string shown;
  for (char c : text) {
    if (c == '\r') {
      shown += "\\r";
    } else if (c == '\n') {
      shown += "\\n";
    } else {
      shown += c;
    }
  }
  return shown;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += "[" + line + "]";
  return text;
}

// The menu's check marks on the two orders as "oldest newest", e.g. "1 0".
std::string OrderMarks(const win_host::DialogDriver& d, HWND viewer) {
  return std::to_string(d.MenuChecked(viewer, kMenuOldestFirst)) + " " +
         std::to_string(d.MenuChecked(viewer, kMenuNewestFirst));
}

void CheckLogViewer(const Exports& e) {
  char right0[128] = "";
  e.get_right(0, right0, sizeof right0);
  // What opening the viewer (an audited enquiry for right 0) and a host's note look like in
  // the summary column.
  const std::string access_summary =
      std::string("Object Access : Successful object access. - Access attempted : ") + right0;
  const std::string first_note = "Batch 7 started\r\nBalance checked\r\nOperator present";

  // First opening: the menu as its template makes it, the events logged so far, then every
  // event cleared so that the ones below are all the log holds.
  bool driven = false;
  int result = win_host::RunDriven(
      [&] { return e.log_view(nullptr); },
      [&](win_host::DialogDriver& d) {
        HWND viewer = d.WaitForDialog(kViewerCaption, kEventList);
        if (viewer == nullptr) return Fail("audit log viewer shown", "no window captioned Audit Log Viewer");
        Check(true, "audit log viewer shown");
        Check(d.MenuText(viewer, kMenuNewestFirst) == "&Newest First" &&
                  d.MenuText(viewer, kMenuOldestFirst) == "&Oldest First" &&
                  d.MenuText(viewer, kMenuDetail) == "&Detail..." &&
                  d.MenuText(viewer, kMenuRefresh) == "&Refresh" &&
                  d.MenuText(viewer, kMenuClearAll) == "&Clear All Events" &&
                  d.MenuText(viewer, kMenuExit) == "E&xit",
              "the viewer's menu bar has its items",
              d.MenuText(viewer, kMenuNewestFirst) + " / " + d.MenuText(viewer, kMenuExit));
        Check(OrderMarks(d, viewer) == "1 0",
              "without a stored order the viewer shows the oldest event first",
              "check marks oldest/newest " + OrderMarks(d, viewer));
        // The log-ons, enquiries and user edits above were logged.
        const bool listed = d.WaitUntil([&] { return !d.ListItems(viewer, kEventList).empty(); });
        Check(listed, "the viewer lists the events logged so far");

        if (!d.Menu(viewer, kMenuClearAll)) return Fail("Clear All Events chosen", "no such item");
        HWND box = d.WaitForMessageBox("Clear Audit Log", viewer);
        if (box == nullptr) return Fail("Clear All Events asks first", "no box");
        Check(d.StaticTexts(box).find("Are you sure?") != std::string::npos,
              "Clear All Events asks first", d.StaticTexts(box));
        d.Press(box, IDOK);
        if (!d.WaitUntilClosed(box)) return Fail("the question closes with OK", "still open");
        const bool emptied = d.WaitUntil([&] { return d.ListItems(viewer, kEventList).empty(); });
        Check(emptied, "Clear All Events empties the list",
              Joined(d.ListItems(viewer, kEventList)));

        if (!d.Menu(viewer, kMenuExit)) return Fail("Exit chosen", "no such item");
        if (!d.WaitUntilClosed(viewer)) return Fail("Exit closes the viewer", "still open");
        return true;
      },
      kDialogTimeoutMs, &driven);
  Check(driven && result == 1, "SecurityLogView opens the viewer and Exit closes it",
        "result " + std::to_string(result));
  Check(StoredViewerOrder() == "TRUE", "the viewer stores OldestFirst=TRUE on close",
        StoredViewerOrder());

  // Events of the host: three notes (the first of three lines) and an audited enquiry.
  const int noted = e.note(0, kNoteSource, 0, first_note.c_str(), 0) +
                    e.note(0, kNoteSource, 0, "Batch 7 weighed", 0) +
                    e.note(0, kNoteSource, 0, "Batch 7 closed", 0);
  Check(noted == 3, "SecurityNote records three notes", std::to_string(noted) + " of 3");
  Check(e.enquire(nullptr, 0) == 1, "SecurityEnquire for right 0 as the administrator");

  // Oldest first, then newest first, one line per event; a line's detail; Exit. A summary
  // shows the description up to its second line break, which reads " - ".
  const std::vector<std::string> oldest_summaries = {
      std::string(kNoteSource) + " : Batch 7 started - Balance checked - ",
      std::string(kNoteSource) + " : Batch 7 weighed",
      std::string(kNoteSource) + " : Batch 7 closed",
      access_summary,  // the enquiry
      access_summary,  // this opening of the viewer
  };
  result = win_host::RunDriven(
      [&] { return e.log_view(nullptr); },
      [&](win_host::DialogDriver& d) {
        HWND viewer = d.WaitForDialog(kViewerCaption, kEventList);
        if (viewer == nullptr) return Fail("audit log viewer shown again", "no window");
        std::vector<std::string> oldest;
        d.WaitUntil([&] {
          oldest = d.ListItems(viewer, kEventList);
          return oldest.size() == oldest_summaries.size();
        });
        Check(oldest.size() == oldest_summaries.size(), "the viewer has one line per event",
              std::to_string(oldest.size()) + " lines: " + Joined(oldest));
        if (oldest.size() != oldest_summaries.size()) return false;

        // Date, time, user and summary, each ended by a tab; a summary the column is too narrow
        // for is cut at its end.
        std::string bad;
        for (size_t i = 0; i < oldest.size(); ++i) {
          const ViewerLine line = SplitLine(oldest[i]);
          const std::string& expected = oldest_summaries[i];
          const bool ok = line.whole && !line.columns[0].empty() && !line.columns[1].empty() &&
                          line.columns[2] == "Administrator" &&
                          (i < 3 ? line.columns[3] == expected
                                 : line.columns[3].size() >= 15 &&
                                       expected.compare(0, line.columns[3].size(),
                                                        line.columns[3]) == 0);
          if (!ok) bad += " line " + std::to_string(i) + " [" + oldest[i] + "]";
        }
        Check(bad.empty(), "each line is date, time, user and summary separated by tabs, oldest first",
              bad);

        // Newest first: the same lines the other way round, the check mark moved.
        if (!d.Menu(viewer, kMenuNewestFirst)) return Fail("Newest First chosen", "no such item");
        const std::vector<std::string> reversed(oldest.rbegin(), oldest.rend());
        std::vector<std::string> newest;
        const bool turned = d.WaitUntil([&] {
          newest = d.ListItems(viewer, kEventList);
          return newest == reversed;
        });
        Check(turned, "Newest First reverses the list", Joined(newest));
        Check(OrderMarks(d, viewer) == "0 1", "Newest First moves the check mark to itself",
              "check marks oldest/newest " + OrderMarks(d, viewer));

        // The first note is now the last line: clicked, then View > Detail...
        const int line = static_cast<int>(newest.size()) - 1;
        if (!d.ClickListItem(viewer, kEventList, line)) {
          return Fail("a click selects the first note's line", "line not in view");
        }
        const bool selected = d.WaitUntil([&] { return d.ListSelection(viewer, kEventList) == line; });
        Check(selected, "a click selects the first note's line",
              "selection " + std::to_string(d.ListSelection(viewer, kEventList)));
        if (!d.Menu(viewer, kMenuDetail)) return Fail("Detail... chosen", "no such item");
        HWND detail = d.WaitForDialog(kDetailCaption, kDetailDescription);
        if (detail == nullptr) return Fail("Detail... shows the event detail dialog", "no window");
        Check(true, "Detail... shows the event detail dialog");
        Check(::GetWindow(detail, GW_OWNER) == viewer, "the event detail dialog is owned by the viewer");
        const ViewerLine shown = SplitLine(newest[line]);
        const std::string date = d.ControlText(detail, kDetailDate);
        const std::string time = d.ControlText(detail, kDetailTime);
        Check(shown.columns.size() >= 2 && date == shown.columns[0] && time == shown.columns[1],
              "the detail's date and time are the line's",
              date + " " + time + " for [" + newest[line] + "]");
        Check(d.ControlText(detail, kDetailSource) == kNoteSource &&
                  d.ControlText(detail, kDetailUser) == "Administrator",
              "the detail shows the event's source and user",
              d.ControlText(detail, kDetailSource) + " / " + d.ControlText(detail, kDetailUser));
        const std::string description = d.ControlText(detail, kDetailDescription);
        Check(description == first_note,
              "the detail shows the whole description with CR LF line breaks", Escaped(description));
        d.Press(detail, IDOK);
        if (!d.WaitUntilClosed(detail)) return Fail("Close ends the event detail", "still open");
        Check(::IsWindowVisible(viewer) != 0, "the viewer stays open after the detail closes");

        if (!d.Menu(viewer, kMenuExit)) return Fail("Exit chosen", "no such item");
        if (!d.WaitUntilClosed(viewer)) return Fail("Exit closes the viewer", "still open");
        return true;
      },
      kDialogTimeoutMs, &driven);
  Check(driven && result == 1, "the viewer driven through order, detail and Exit",
        "result " + std::to_string(result));
  Check(StoredViewerOrder() == "FALSE", "the viewer stores OldestFirst=FALSE on close",
        StoredViewerOrder());

  // The stored order comes back at the next opening; Oldest First turns it round again.
  result = win_host::RunDriven(
      [&] { return e.log_view(nullptr); },
      [&](win_host::DialogDriver& d) {
        HWND viewer = d.WaitForDialog(kViewerCaption, kEventList);
        if (viewer == nullptr) return Fail("audit log viewer shown a third time", "no window");
        Check(OrderMarks(d, viewer) == "0 1", "the viewer opens in the stored order",
              "check marks oldest/newest " + OrderMarks(d, viewer));
        std::vector<std::string> lines;
        const bool newest_on_top = d.WaitUntil([&] {
          lines = d.ListItems(viewer, kEventList);
          return lines.size() == oldest_summaries.size() + 1 &&
                 SplitLine(lines.front()).columns.size() == 4 &&
                 SplitLine(lines.back()).columns.size() == 4 &&
                 access_summary.compare(0, SplitLine(lines.front()).columns[3].size(),
                                        SplitLine(lines.front()).columns[3]) == 0 &&
                 SplitLine(lines.back()).columns[3] == oldest_summaries.front();
        });
        Check(newest_on_top, "this opening's own event is on top and the first note last",
              Joined(lines));
        if (!d.Menu(viewer, kMenuOldestFirst)) return Fail("Oldest First chosen", "no such item");
        const bool turned = d.WaitUntil([&] {
          return d.ListItems(viewer, kEventList) ==
                 std::vector<std::string>(lines.rbegin(), lines.rend());
        });
        Check(turned && OrderMarks(d, viewer) == "1 0",
              "Oldest First turns the list back and moves the check mark",
              "check marks oldest/newest " + OrderMarks(d, viewer));
        if (!d.Menu(viewer, kMenuExit)) return Fail("Exit chosen", "no such item");
        if (!d.WaitUntilClosed(viewer)) return Fail("Exit closes the viewer", "still open");
        return true;
      },
      kDialogTimeoutMs, &driven);
  Check(driven && result == 1, "the viewer reopened in the stored order and closed",
        "result " + std::to_string(result));
  Check(StoredViewerOrder() == "TRUE", "the viewer stores OldestFirst=TRUE again",
        StoredViewerOrder());
}

void CheckDialogs(HMODULE module) {
  Exports e;
  e.login = Resolve<TalmorWindowFn>(module, "SecurityLogin");
  e.current = Resolve<TalmorGetCurrentUserFn>(module, "SecurityGetCurrentUser");
  e.edit_user = Resolve<TalmorNamedFn>(module, "SecurityEditUser");
  e.get_user = Resolve<TalmorGetUserFn>(module, "SecurityGetUser");
  e.get_right = Resolve<TalmorGetRightFn>(module, "SecurityGetRight");
  e.filter = Resolve<TalmorFilterDllMsgFn>(module, "FilterDllMsg");
  e.note = Resolve<TalmorNoteFn>(module, "SecurityNote");
  e.enquire = Resolve<TalmorEnquireFn>(module, "SecurityEnquire");
  // Reached by ordinal, as the host's menu does.
  e.log_view = reinterpret_cast<TalmorWindowFn>(
      TalmorResolveOrdinal(module, TalmorExportOrdinal("SecurityLogView")));
  if (!Resolved(e)) {
    Check(false, "dialog exports resolved");
    return;
  }
  // A message for a window that is not the library's is left to the host.
  TalmorMessage message{};
  message.hwnd = ::GetDesktopWindow();
  message.message = WM_KEYDOWN;
  message.wParam = VK_TAB;
  Check(e.filter(&message) == 0, "FilterDllMsg leaves the host's messages alone");
  CheckLogon(e);
  CheckFilterInDialog(e);
  CheckUserEdit(e);
  CheckLogViewer(e);
}

// Opens the log-on dialog with a name typed in and reports where it is, for a screenshot.
int Screenshot(HMODULE module) {
  auto login = Resolve<TalmorWindowFn>(module, "SecurityLogin");
  if (login == nullptr) return 1;
  bool driven = false;
  win_host::RunDriven(
      [&] { return login(nullptr); },
      [&](win_host::DialogDriver& d) {
        HWND dialog = d.WaitForDialog(kLogonCaption, kNameBox);
        if (dialog == nullptr) return false;
        d.Type(dialog, kNameBox, "Administrator");
        d.Type(dialog, kPasswordBox, "password");
        ::RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        ::Sleep(500);
        RECT r{};
        ::GetWindowRect(dialog, &r);
        std::printf("READY %ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
        std::fflush(stdout);
        ::Sleep(5000);  // time for the picture; the dialog is then cancelled
        d.CancelAll();
        return d.WaitUntilClosed(dialog);
      },
      kDialogTimeoutMs, &driven);
  return driven ? 0 : 1;
}

// `text` (ASCII) as a wide string.
std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

bool FileExists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

int main(int argc, char** argv) {
  int arg = 1;
  const bool screenshot = argc > arg && std::strcmp(argv[arg], "--screenshot") == 0;
  if (screenshot) ++arg;
  std::string windir, share;
  for (; argc > arg + 1; arg += 2) {
    if (std::strcmp(argv[arg], "--windir") == 0) {
      windir = argv[arg + 1];
    } else if (std::strcmp(argv[arg], "--share") == 0) {
      share = argv[arg + 1];
    } else {
      break;
    }
  }
  // Past the C runtime's copy of the environment, which the library must not depend on.
  if (!windir.empty()) ::SetEnvironmentVariableW(L"QUORVANE_WINDIR", Wide(windir).c_str());
  if (!share.empty()) ::SetEnvironmentVariableW(L"QVSHARE_DIR", Wide(share).c_str());
  const std::string library =
      argc > arg ? std::string(argv[arg]) : ProgramDirectory() + "\\TALMOR32.DLL";
  if (screenshot) {
    HMODULE module = ::LoadLibraryA(library.c_str());
    return module != nullptr ? Screenshot(module) : 1;
  }
  // The library looks for the host's window at load time; this host has none.
  std::printf("host window present before load: %s\n",
              ::FindWindowA("QuorvaneWClass", nullptr) != nullptr ? "yes" : "no");
  HMODULE module = ::LoadLibraryA(library.c_str());
  Check(module != nullptr, "LoadLibrary TALMOR32.DLL",
        library + ": error " + std::to_string(::GetLastError()));
  if (module != nullptr) {
    CheckExportTable(module);
    CheckCalls(module);
    CheckDialogs(module);
    Check(::FreeLibrary(module) != 0, "FreeLibrary");
  }

  // The host presence of QVSHARE.DLL is a window that FindWindowA sees.
  const int acquired = QVHostPresenceAcquire();
  Check(acquired == 1 && ::FindWindowA("QuorvaneWClass", nullptr) != nullptr,
        "QVHostPresenceAcquire shows a QuorvaneWClass window");
  QVHostPresenceRelease();
  Check(::FindWindowA("QuorvaneWClass", nullptr) == nullptr,
        "QVHostPresenceRelease removes it");
  QVStatusSetString(47, "win_host");
  char slot[32] = "";
  QVStatusGetString(47, slot, sizeof slot);
  Check(std::strcmp(slot, "win_host") == 0, "status slot 47 round trip", slot);
  if (!windir.empty()) {
    Check(FileExists(windir + "\\QUORVANE.LOG"), "the audit log is in --windir", windir);
  }
  if (!share.empty()) Check(FileExists(share + "\\slot.47"), "slot 47 is in --share", share);
  QVStatusSetString(47, "");

  if (g_failed == 0) {
    std::printf("RESULT PASS\n");
  } else {
    std::printf("RESULT FAIL (%d failed)\n", g_failed.load());
  }
  return g_failed == 0 ? 0 : 1;
}
