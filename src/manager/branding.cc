#include "manager/branding.h"

#include "platform/profile_file.h"

namespace talmor {
namespace {

// Decided once per process (see the header for the exception).
int g_branding_checked = 0;
int g_alternative_branding = 0;

constexpr size_t kBrandingBufferSize = 80;

}  // namespace

int IsAlternativeBranding() {
  if (g_branding_checked) return g_alternative_branding;
  const std::string value =
      GetProfileString("qvtalmor.ini", "Acquisition", "IsGCMD", "FALSE", kBrandingBufferSize);
  if (value.empty()) return 0;
  g_branding_checked = 1;
  g_alternative_branding = value == "TRUE" ? 1 : 0;
  return g_alternative_branding;
}

void ResetBrandingForTesting() {
  g_branding_checked = 0;
  g_alternative_branding = 0;
}

std::string_view SecurityManagerCaption() {
  return IsAlternativeBranding() ? "Sarvento Security Manager" : "Quorvane Security Manager";
}

std::string_view ProductName() { return IsAlternativeBranding() ? "Sarvento" : "Quorvane"; }

}  // namespace talmor
