#pragma once

#include <optional>
#include <string>

namespace talmor {

// The value of environment variable `name` (ASCII), or nothing when it is unset or empty. Read
// afresh at every call from the process's own environment: on Windows that is the one
// SetEnvironmentVariable changes (a host sets variables that way before it loads the library,
// after the C runtime took its copy), converted to the ANSI code page of the file functions.
std::optional<std::string> EnvironmentValue(const char* name);

}  // namespace talmor
