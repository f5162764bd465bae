#include <windows.h>

#include "platform/environment.h"

namespace talmor {

std::optional<std::string> EnvironmentValue(const char* name) {
  std::wstring wide_name;
  for (const char* c = name; *c != '\0'; ++c) wide_name.push_back(static_cast<wchar_t>(*c));
  std::wstring value(128, L'\0');
  for (;;) {
    // The length without the terminator when the value fits, else the size it needs; 0 for a
    // missing variable and for an empty one.
    const DWORD length = ::GetEnvironmentVariableW(wide_name.c_str(), value.data(),
                                                   static_cast<DWORD>(value.size()));
    if (length == 0) return std::nullopt;
    if (length < value.size()) {
      value.resize(length);
      break;
    }
    value.assign(length, L'\0');
  }
  const int bytes = ::WideCharToMultiByte(CP_ACP, 0, value.data(), static_cast<int>(value.size()),
                                          nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::nullopt;
  std::string result(static_cast<size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, value.data(), static_cast<int>(value.size()), result.data(),
                        bytes, nullptr, nullptr);
  return result;
}

}  // namespace talmor
