#include <cerrno>
#include <cstring>

#include "platform/file_exception.h"
#include "platform/os_error.h"

namespace talmor {

void ThrowOsError(int error, const std::string& path, const char* operation) {
  using Cause = FileException::Cause;
  Cause cause = Cause::kGeneric;
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      cause = Cause::kNotFound;
      break;
    case EACCES:
    case EPERM:
    case EROFS:
      cause = Cause::kAccessDenied;
      break;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      cause = Cause::kDiskFull;
      break;
    case EWOULDBLOCK:
      cause = Cause::kSharingViolation;
      break;
    case ENAMETOOLONG:
    case EINVAL:
      cause = Cause::kBadPath;
      break;
    case EIO:
      cause = Cause::kHardIo;
      break;
    default:
      break;
  }
  throw FileException(cause, path, error,
                      std::string(operation) + " " + path + ": " + std::strerror(error));
}

void ThrowLastOsError(const std::string& path, const char* operation) {
  ThrowOsError(errno, path, operation);
}

}  // namespace talmor
