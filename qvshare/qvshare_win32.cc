// Status slots and host presence on Windows. The slots are small files in a per-user directory,
// each replaced in one step so that readers in other processes see whole strings; the running
// host is the process that owns a hidden top-level window of class "QuorvaneWClass", which is
// what the security library looks for with FindWindowA.

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/environment.h"
#include "qvshare.h"

namespace {

constexpr char kHostWindowClass[] = "QuorvaneWClass";
// Taken by the one process that holds the presence, so that two hosts starting at once cannot
// both create the window. A semaphore, not a mutex: it belongs to no thread.
constexpr char kPresenceSemaphore[] = "Local\\QuorvaneWClass.presence";

// From the live environment, so that a host's SetEnvironmentVariable before loading counts.
std::string EnvOrEmpty(const char* name) { return talmor::EnvironmentValue(name).value_or(""); }

// %QVSHARE_DIR%, else %LOCALAPPDATA%\qvshare, else %TEMP%\qvshare; created when missing.
std::string ShareDirectory() {
  std::string dir = EnvOrEmpty("QVSHARE_DIR");
  if (dir.empty()) {
    std::string base = EnvOrEmpty("LOCALAPPDATA");
    if (base.empty()) {
      char temp[MAX_PATH + 1];
      const DWORD length = ::GetTempPathA(sizeof temp, temp);
      if (length == 0 || length >= sizeof temp) return std::string();
      base.assign(temp, length);
    }
    while (!base.empty() && (base.back() == '\\' || base.back() == '/')) base.pop_back();
    dir = base + "\\qvshare";
  }
  while (dir.size() > 3 && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
  ::CreateDirectoryA(dir.c_str(), nullptr);
  const DWORD attributes = ::GetFileAttributesA(dir.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return std::string();
  }
  return dir;
}

std::string SlotPath(const std::string& dir, int slot) {
  char name[32];
  std::snprintf(name, sizeof name, "\\slot.%d", slot);
  return dir + name;
}

void SetSlot(int slot, const char* text) {
  const std::string dir = ShareDirectory();
  if (dir.empty()) return;
  static std::atomic<unsigned> counter{0};
  const std::string path = SlotPath(dir, slot);
  const std::string temp = path + ".tmp." + std::to_string(::GetCurrentProcessId()) + "." +
                           std::to_string(counter.fetch_add(1, std::memory_order_relaxed));
  const HANDLE file = ::CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const DWORD size = static_cast<DWORD>(std::strlen(text));
  DWORD written = 0;
  const bool ok = ::WriteFile(file, text, size, &written, nullptr) && written == size;
  const bool closed = ::CloseHandle(file) != 0;
  if (!ok || !closed || !::MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    ::DeleteFileA(temp.c_str());
  }
}

void GetSlot(int slot, char* buffer, int size) {
  buffer[0] = '\0';
  const std::string dir = ShareDirectory();
  if (dir.empty()) return;
  const HANDLE file = ::CreateFileA(SlotPath(dir, slot).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const DWORD capacity = static_cast<DWORD>(size - 1);
  DWORD total = 0;
  while (total < capacity) {
    DWORD got = 0;
    if (!::ReadFile(file, buffer + total, capacity - total, &got, nullptr)) {
      total = 0;  // a failed read gives the empty string, never a partial one
      break;
    }
    if (got == 0) break;
    total += got;
  }
  ::CloseHandle(file);
  buffer[total] = '\0';
}

std::mutex g_presence_mutex;
HANDLE g_presence_semaphore = nullptr;
HWND g_presence_window = nullptr;

HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&ThisModule), &module);
  return module;
}

bool RegisterHostClass(HINSTANCE module) {
  WNDCLASSA window_class{};
  window_class.lpfnWndProc = ::DefWindowProcA;
  window_class.hInstance = module;
  window_class.lpszClassName = kHostWindowClass;
  return ::RegisterClassA(&window_class) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// Empties every status slot: the slots belong to one running host and must not outlive it.
void ClearSlots() {
  const std::string dir = ShareDirectory();
  if (dir.empty()) return;
  WIN32_FIND_DATAA found;
  const HANDLE search = ::FindFirstFileA((dir + "\\slot.*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    ::DeleteFileA((dir + "\\" + found.cFileName).c_str());
  } while (::FindNextFileA(search, &found));
  ::FindClose(search);
}

int AcquirePresence() {
  std::lock_guard<std::mutex> lock(g_presence_mutex);
  if (g_presence_window != nullptr) return 1;
  const HANDLE semaphore = ::CreateSemaphoreA(nullptr, 1, 1, kPresenceSemaphore);
  if (semaphore == nullptr) return 0;
  if (::WaitForSingleObject(semaphore, 0) != WAIT_OBJECT_0) {
    ::CloseHandle(semaphore);
    return 0;
  }
  // A window of the class left by a host that did not use this library also means a host runs.
  const HINSTANCE module = ThisModule();
  HWND window = nullptr;
  if (::FindWindowA(kHostWindowClass, nullptr) == nullptr && RegisterHostClass(module)) {
    // Top-level (not message-only, which FindWindowA does not see) and never shown.
    window = ::CreateWindowExA(WS_EX_TOOLWINDOW, kHostWindowClass, "", WS_POPUP, 0, 0, 0, 0,
                               nullptr, nullptr, module, nullptr);
  }
  if (window == nullptr) {
    ::ReleaseSemaphore(semaphore, 1, nullptr);
    ::CloseHandle(semaphore);
    return 0;
  }
  // Nobody held presence: a new host session starts with nobody logged on.
  ClearSlots();
  g_presence_semaphore = semaphore;
  g_presence_window = window;
  return 1;
}

void ReleasePresence() {
  std::lock_guard<std::mutex> lock(g_presence_mutex);
  if (g_presence_window == nullptr) return;
  // Only the creating thread can destroy a window; from another thread it is asked to close,
  // which the default procedure does when that thread next takes its messages.
  if (!::DestroyWindow(g_presence_window)) ::PostMessageA(g_presence_window, WM_CLOSE, 0, 0);
  g_presence_window = nullptr;
  ::ReleaseSemaphore(g_presence_semaphore, 1, nullptr);
  ::CloseHandle(g_presence_semaphore);
  g_presence_semaphore = nullptr;
}

}  // namespace

extern "C" {

void QVStatusSetString(int slot, const char* text) {
  try {
    SetSlot(slot, text != nullptr ? text : "");
  } catch (...) {
    // Out of memory: the slot keeps its old value.
  }
}

void QVStatusGetString(int slot, char* buffer, int size) {
  if (buffer == nullptr || size < 1) return;
  try {
    GetSlot(slot, buffer, size);
  } catch (...) {
    buffer[0] = '\0';
  }
}

int QVHostPresenceAcquire(void) {
  try {
    return AcquirePresence();
  } catch (...) {
    return 0;
  }
}

void QVHostPresenceRelease(void) {
  try {
    ReleasePresence();
  } catch (...) {
    // std::mutex failures only.
  }
}

}  // extern "C"
