#pragma once

#include <cstdint>

#ifndef _WIN32
#include <time.h>
#endif

namespace talmor {

// Added to the steady clock below; tests move it forward to let time pass without waiting.
inline std::int64_t coarse_clock_shift_ms = 0;

// Milliseconds on a steady clock of coarse resolution (a few milliseconds), cheap enough to read
// on every call of the library: for rate limits and idle times, never for time stamps.
#ifdef _WIN32
std::int64_t CoarseSteadyMilliseconds();
#else
inline std::int64_t CoarseSteadyMilliseconds() {
  timespec now{};
#ifdef CLOCK_MONOTONIC_COARSE
  ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
#else
  ::clock_gettime(CLOCK_MONOTONIC, &now);
#endif
  return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000 +
         coarse_clock_shift_ms;
}
#endif

}  // namespace talmor
