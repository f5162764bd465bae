#pragma once

#include <string_view>

namespace talmor {

// The product's two brandings. The choice is the profile value "IsGCMD" of section
// "Acquisition" in "qvtalmor.ini": exactly "TRUE" selects the alternative branding; any other
// value, a missing key or a missing file selects the main one. It is read at the first question
// and kept for the life of the process, except that a key present with an empty value decides
// nothing: the next question reads the file again.

// 1 when the alternative branding is selected, else 0.
int IsAlternativeBranding();

// Forgets the decision so that the next question reads the profile file again (tests).
void ResetBrandingForTesting();

// The caption of the manager's message boxes: "Quorvane Security Manager" or
// "Sarvento Security Manager".
std::string_view SecurityManagerCaption();

// The product word of the current branding: "Quorvane" or "Sarvento".
std::string_view ProductName();

}  // namespace talmor
