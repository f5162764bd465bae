#include <windows.h>

#include "platform/coarse_clock.h"

namespace talmor {

std::int64_t CoarseSteadyMilliseconds() {
  return static_cast<std::int64_t>(::GetTickCount64()) + coarse_clock_shift_ms;
}

}  // namespace talmor
