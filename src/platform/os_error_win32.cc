#include <windows.h>

#include <string>

#include "platform/file_exception.h"
#include "platform/os_error.h"

namespace talmor {

namespace {

// The system's text for `error`, without its trailing line break.
std::string SystemMessage(DWORD error) {
  char* text = nullptr;
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message;
  if (length != 0 && text != nullptr) message.assign(text, length);
  if (text != nullptr) ::LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  if (message.empty()) message = "error " + std::to_string(error);
  return message;
}

}  // namespace

void ThrowOsError(int error, const std::string& path, const char* operation) {
  using Cause = FileException::Cause;
  Cause cause = Cause::kGeneric;
  switch (static_cast<DWORD>(error)) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
      cause = Cause::kNotFound;
      break;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_CURRENT_DIRECTORY:
      cause = Cause::kAccessDenied;
      break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      cause = Cause::kDiskFull;
      break;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      cause = Cause::kSharingViolation;
      break;
    case ERROR_INVALID_NAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BAD_PATHNAME:
    case ERROR_DIRECTORY:
      cause = Cause::kBadPath;
      break;
    case ERROR_CRC:
    case ERROR_SEEK:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_GEN_FAILURE:
      cause = Cause::kHardIo;
      break;
    default:
      break;
  }
  throw FileException(cause, path, error,
                      std::string(operation) + " " + path + ": " +
                          SystemMessage(static_cast<DWORD>(error)));
}

void ThrowLastOsError(const std::string& path, const char* operation) {
  ThrowOsError(static_cast<int>(::GetLastError()), path, operation);
}

}  // namespace talmor
