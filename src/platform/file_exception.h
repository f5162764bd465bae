#pragma once

#include <string>
#include <system_error>

namespace talmor {

// The framework's file error. Raised by every file service when the operating system refuses
// an operation on a file that is open (or a create, remove or rename); callers inside the library
// let it travel to the exported function, which turns it into the result 0. Running out of memory
// is std::bad_alloc, never this.
class FileException : public std::runtime_error {
 public:
  enum class Cause {
    kGeneric,
    kNotFound,
    kAccessDenied,
    kDiskFull,
    kSharingViolation,
    kBadPath,
    kHardIo,
  };

  FileException(Cause cause, std::string path, int os_error, const std::string& what);

  Cause cause() const { return cause_; }
  const std::string& path() const { return path_; }
  // The operating system's own error number (errno or GetLastError), 0 when there was none.
  int os_error() const { return os_error_; }

 private:
  Cause cause_;
  std::string path_;
  int os_error_;
};

}  // namespace talmor
