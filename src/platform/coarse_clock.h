#pragma once

#include <cstdint>

namespace talmor {

// Milliseconds on a steady clock of coarse resolution (a few milliseconds), cheap enough to read
// on every call of the library: for rate limits, never for time stamps.
std::int64_t CoarseSteadyMilliseconds();

}  // namespace talmor
