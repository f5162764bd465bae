#include "platform/names.h"

namespace talmor {

int CompareIgnoringCase(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const auto ca = static_cast<unsigned char>(FoldAsciiCase(a[i]));
    const auto cb = static_cast<unsigned char>(FoldAsciiCase(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

std::string FoldCase(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) c = FoldAsciiCase(c);
  return folded;
}

}  // namespace talmor
