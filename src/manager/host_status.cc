#include "manager/host_status.h"

#include <cstring>

#include "qvshare.h"

namespace talmor {

void PublishUserName(std::string_view name) {
  if (name.size() > kMaxPublishedNameLength) return;
  const std::string text(name);
  QVStatusSetString(kUserNameSlot, text.c_str());
}

std::string ReadPublishedUserName() {
  char buffer[32] = {};
  QVStatusGetString(kUserNameSlot, buffer, static_cast<int>(sizeof buffer));
  return std::string(buffer, strnlen(buffer, sizeof buffer));
}

}  // namespace talmor
