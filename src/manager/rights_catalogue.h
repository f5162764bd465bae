#pragma once

#include <cstdint>
#include <string_view>

namespace talmor {

// The fixed catalogue of rights, numbered 0 to 25. Only right 0 means something inside the
// library: it guards every administrative operation.
inline constexpr uint32_t kRightCount = 26;
inline constexpr uint32_t kAdministerRight = 0;

// The name of right `right` in the given branding; empty for a number outside the catalogue.
std::string_view RightName(uint32_t right, bool alternative_branding);

// The audit categories: the text written as the event's source, and which option lets it through.
enum class AuditGate { kLogon, kObject, kPolicy, kOther };

struct AuditCategory {
  std::string_view text;
  AuditGate gate;
};

// Code 1 "Logon/Logoff", 2 "Object Access", 3 "Policy Change", 4 "Object Viewed",
// 5 "Object Modified", any other "n/a".
AuditCategory AuditCategoryFor(uint32_t code);

}  // namespace talmor
