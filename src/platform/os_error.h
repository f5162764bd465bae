#pragma once

#include <string>

namespace talmor {

// Turns the operating system's last error (errno on Linux, GetLastError on Windows) into a
// FileException about `path`. The one place per platform where OS errors become our exceptions.
[[noreturn]] void ThrowLastOsError(const std::string& path, const char* operation);

// The same for an error number already taken.
[[noreturn]] void ThrowOsError(int error, const std::string& path, const char* operation);

}  // namespace talmor
