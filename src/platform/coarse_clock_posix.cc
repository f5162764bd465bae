#include <time.h>

#include "platform/coarse_clock.h"

namespace talmor {

std::int64_t CoarseSteadyMilliseconds() {
  timespec now{};
#ifdef CLOCK_MONOTONIC_COARSE
  ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
#else
  ::clock_gettime(CLOCK_MONOTONIC, &now);
#endif
  return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

}  // namespace talmor
