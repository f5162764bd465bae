// A host program for Windows: loads TALMOR32.DLL at run time as the host application does and
// checks its export table and a few calls. Usage: win_host [path-of-TALMOR32.DLL]
// Every check prints "PASS name" or "FAIL name: why"; the last line is "RESULT PASS" or
// "RESULT FAIL (n failed)" and the exit code is 0 only for a pass.

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "qvshare.h"
#include "talmor32.h"

namespace {

int g_failed = 0;

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

}  // namespace

int main(int argc, char** argv) {
  const std::string library =
      argc > 1 ? std::string(argv[1]) : ProgramDirectory() + "\\TALMOR32.DLL";
  // The library looks for the host's window at load time; this host has none.
  std::printf("host window present before load: %s\n",
              ::FindWindowA("QuorvaneWClass", nullptr) != nullptr ? "yes" : "no");
  HMODULE module = ::LoadLibraryA(library.c_str());
  Check(module != nullptr, "LoadLibrary TALMOR32.DLL",
        library + ": error " + std::to_string(::GetLastError()));
  if (module != nullptr) {
    CheckExportTable(module);
    CheckCalls(module);
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
  QVStatusSetString(47, "");

  if (g_failed == 0) {
    std::printf("RESULT PASS\n");
  } else {
    std::printf("RESULT FAIL (%d failed)\n", g_failed);
  }
  return g_failed == 0 ? 0 : 1;
}
