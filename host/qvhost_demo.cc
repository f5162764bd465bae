#include "qvhost_demo.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "host_library.h"
#include "qvshare.h"

namespace {

// The operator of the demonstration's dialogs: the log-on dialog answered with the built-in
// account, the audit log viewer dumped and closed.
constexpr char kScript[] =
    "# log on as the built-in administrator\n"
    "dialog 130\n"
    "type 1000 Administrator\n"
    "type 1001 BlueHarbour\n"
    "enter\n"
    "# the audit log viewer: show its lines, then close it\n"
    "dialog 137\n"
    "dump\n"
    "escape\n";

std::string TempFile(const std::string& name) {
  return (std::filesystem::temp_directory_path() /
          ("qvhost-" + std::to_string(::getpid()) + "-" + name))
      .string();
}

}  // namespace

int RunHeadlessDemo() {
  std::printf("qvhost: no display; a short demonstration with the headless dialogs instead.\n");
  const std::string script = TempFile("script.txt");
  const std::string transcript = TempFile("transcript.txt");
  std::ofstream(script) << kScript;
  ::setenv("TALMOR_UI", "headless", 1);
  ::setenv("TALMOR_UI_SCRIPT", script.c_str(), 1);
  ::setenv("TALMOR_UI_TRANSCRIPT", transcript.c_str(), 1);

  // A host holds its presence while it runs, so the library keeps the logged-on user's slot.
  QVHostPresenceAcquire();
  HostLibrary lib;
  std::string error;
  if (!lib.Load(error)) {
    std::fprintf(stderr, "qvhost: %s\n", error.c_str());
    return 1;
  }
  TalmorWindow window = reinterpret_cast<TalmorWindow>(uintptr_t{1});
  char name[64], full[64], description[128];

  std::printf("\nThe rights catalogue:\n");
  for (uint32_t right = 0; lib.SecurityGetRight(right, name, sizeof name); ++right) {
    std::printf("  %2u  %s\n", right, name);
  }
  std::printf("\nBefore log-on, may the user start acquisitions (right 14)? %s\n",
              lib.SecurityEnquireNoAudit(nullptr, 14) ? "yes" : "no");
  std::printf("Log on through the log-on dialog: %s\n",
              lib.SecurityLogin(window) ? "logged on" : "cancelled");
  if (lib.SecurityGetCurrentUser(name, sizeof name, full, sizeof full, description,
                                 sizeof description)) {
    std::printf("Current user: %s (%s)\n", name, full);
  }
  std::printf("May the user start acquisitions now? %s\n",
              lib.SecurityEnquire(window, 14) ? "yes" : "no");

  std::printf("\nUsers:\n");
  for (int32_t i = 0; lib.SecurityGetUser(i, name, sizeof name, full, sizeof full, description,
                                          sizeof description);
       ++i) {
    std::printf("  %-16s %-28s %s\n", name, full, description);
  }
  std::printf("Groups:\n");
  for (int32_t i = 0; lib.SecurityGetGroup(i, name, sizeof name, description, sizeof description);
       ++i) {
    std::printf("  %-16s %s\n", name, description);
  }

  lib.SecurityNote(0, "qvhost", 0, "Headless demonstration", 0);
  std::printf("\nThe audit log viewer shows:\n");
  lib.SecurityLogView(window);
  std::ifstream in(transcript);
  for (std::string line; std::getline(in, line);) {
    // Items of the viewer's list (control 1000): "item <id> <index> <selected> <text>".
    // The text is escaped as transcripts are; its columns end in tabs, shown two spaces apart.
    if (line.rfind("item\t1000\t", 0) == 0) {
      std::string text = line.substr(line.find('\t', line.find('\t', 10) + 1) + 1);
      std::string shown;
      for (size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '\\' && at + 1 < text.size()) {
          ++at;
          shown += text[at] == 't' ? std::string("  ") : std::string(1, text[at]);
        } else {
          shown += text[at];
        }
      }
      std::printf("  %s\n", shown.c_str());
    }
  }
  std::printf("\nLog off: %s\n", lib.SecurityLogoff() ? "done" : "failed");
  lib.ProcessDllIdle();
  lib.Unload();
  QVHostPresenceRelease();
  std::filesystem::remove(script);
  std::filesystem::remove(transcript);
  return 0;
}
