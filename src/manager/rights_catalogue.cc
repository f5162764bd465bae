#include "manager/rights_catalogue.h"

#include <array>

namespace talmor {

namespace {

constexpr std::array<std::string_view, kRightCount> kRightNames = {
    "Administer user accounts and groups",
    "Data browser file delete",
    "Enter fonts and colours editor",
    "Customize Quorvane system globals",
    "Modify quantify report format",
    "Modify quantify report table format",
    "Enter quantify method editor",
    "Manually edit quantify calibration curves",
    "Manually edit integrated peaks",
    "Sample List - Integrate samples",
    "Sample List - Calibrate standards",
    "Sample List - Quantify samples",
    "Sample List - Modify list format",
    "Tune mass spectrometer",
    "Start acquisitions",
    "Enter scan editor",
    "Enter inlet editor",
    "Enter auto injector setup editor",
    "Modify instrument calibration",
    "Modify current user (Lab and User Info)",
    "Use encryption when creating databases",
    "Modify inlet methods",
    "Use custom inlets",
    "Create or modify custom inlets",
    "Modify Pellion Test Tables",
    "Modify Pellion Browser Schemes",
};

constexpr uint32_t kBrandedRight = 3;
constexpr std::string_view kAlternativeRight3 = "Customize Sarvento system globals";

}  // namespace

std::string_view RightName(uint32_t right, bool alternative_branding) {
  if (right >= kRightCount) return {};
  if (right == kBrandedRight && alternative_branding) return kAlternativeRight3;
  return kRightNames[right];
}

AuditCategory AuditCategoryFor(uint32_t code) {
  switch (code) {
    case 1:
      return {"Logon/Logoff", AuditGate::kLogon};
    case 2:
      return {"Object Access", AuditGate::kObject};
    case 3:
      return {"Policy Change", AuditGate::kPolicy};
    case 4:
      return {"Object Viewed", AuditGate::kObject};
    case 5:
      return {"Object Modified", AuditGate::kObject};
    default:
      return {"n/a", AuditGate::kOther};
  }
}

}  // namespace talmor
