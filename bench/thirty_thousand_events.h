#pragma once

// A scratch data directory whose audit log holds 30,000 events (the largest log the policy
// allows), made once per benchmark program.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "audit/audit_log_file.h"

namespace talmor {

inline constexpr int kEvents = 30000;

inline void PrepareLog() {
  static const bool done = [] {
    std::string templ = (std::filesystem::temp_directory_path() / "talmor-bench-XXXXXX").string();
    if (::mkdtemp(templ.data()) == nullptr) std::abort();
    ::setenv("QUORVANE_WINDIR", templ.c_str(), 1);
    AuditLogFile log;
    log.SetMaxEvents(kEvents);
    for (int i = 0; i < kEvents; ++i) {
      log.AppendEvent(
          "Object Access", "user" + std::to_string(i % 500),
          "Successful object access.\r\nAccess attempted : Start acquisition " + std::to_string(i));
    }
    return log.EventCount() == kEvents;
  }();
  if (!done) std::abort();
}

}  // namespace talmor
