#include <windows.h>

#include "platform/host_presence.h"

namespace talmor {

bool IsHostWindowPresent() { return ::FindWindowA("QuorvaneWClass", nullptr) != nullptr; }

}  // namespace talmor
