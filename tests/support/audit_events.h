#pragma once

// The audit trail read back through the library's own reader.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audit/audit_log_file.h"

namespace talmor::testing {

struct AuditEvent {
  std::string date, time, source, user, description;
  bool operator==(const AuditEvent&) const = default;
  // "source|user|description"
  std::string Line() const { return source + "|" + user + "|" + description; }
};

inline bool ReadAuditEvent(AuditLogFile& log, uint32_t index, AuditEvent& e) {
  return log.ReadEvent(index, e.date, e.time, e.source, e.user, e.description);
}

// Every event of the data directory's log; each one must read in full.
inline std::vector<AuditEvent> AuditEvents() {
  AuditLogFile log;
  EXPECT_FALSE(log.failed());
  std::vector<AuditEvent> out(log.EventCount());
  for (uint32_t i = 0; i < out.size(); ++i) EXPECT_TRUE(ReadAuditEvent(log, i, out[i])) << i;
  return out;
}

inline std::vector<std::string> AuditDescriptions() {
  std::vector<std::string> out;
  for (const AuditEvent& e : AuditEvents()) out.push_back(e.description);
  return out;
}

inline std::vector<std::string> AuditLines() {
  std::vector<std::string> out;
  for (const AuditEvent& e : AuditEvents()) out.push_back(e.Line());
  return out;
}

}  // namespace talmor::testing
