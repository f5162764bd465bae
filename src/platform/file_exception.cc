#include "platform/file_exception.h"

#include <utility>

namespace talmor {

FileException::FileException(Cause cause, std::string path, int os_error, const std::string& what)
    : std::runtime_error(what), cause_(cause), path_(std::move(path)), os_error_(os_error) {}

}  // namespace talmor
