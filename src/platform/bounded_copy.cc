#include "platform/bounded_copy.h"

#include <cstring>

namespace talmor {

size_t CopyToBuffer(std::string_view text, char* buffer, size_t size) {
  if (buffer == nullptr || size < 1) return 0;
  const size_t n = text.size() < size - 1 ? text.size() : size - 1;
  if (n > 0) std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return n;
}

size_t CopyToBuffer(std::string_view text, char* buffer, int size) {
  return CopyToBuffer(text, buffer, size < 1 ? size_t{0} : static_cast<size_t>(size));
}

}  // namespace talmor
