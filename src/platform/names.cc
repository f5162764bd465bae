#include "platform/names.h"

#include <cstring>

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

namespace {

// The eight bytes with their ASCII capitals folded to small letters, all at once: a byte is a
// capital when its low seven bits lie in 'A'..'Z' and its top bit is clear.
std::uint64_t FoldEightBytes(std::uint64_t x) {
  constexpr std::uint64_t kOnes = 0x0101010101010101u, kTops = kOnes * 0x80;
  const std::uint64_t low = x & ~kTops;
  const std::uint64_t from_a = low + kOnes * (0x80 - 'A');
  const std::uint64_t past_z = low + kOnes * (0x80 - 'Z' - 1);
  const std::uint64_t capital = from_a & ~past_z & ~x & kTops;
  return x | (capital >> 2);
}

std::uint64_t Mix(std::uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdu;
  return h ^ (h >> 33);
}

}  // namespace

std::uint64_t HashIgnoringCase(std::string_view name) {
  std::uint64_t h = 0x9e3779b97f4a7c15u ^ name.size();
  std::size_t i = 0;
  for (; i + 8 <= name.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, name.data() + i, 8);
    h = (h ^ FoldEightBytes(word)) * 0xc2b2ae3d27d4eb4fu;
    h ^= h >> 29;
  }
  if (i < name.size()) {
    std::uint64_t word = 0;
    std::memcpy(&word, name.data() + i, name.size() - i);
    h = (h ^ FoldEightBytes(word)) * 0xc2b2ae3d27d4eb4fu;
  }
  return Mix(h);
}

std::string FoldCase(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) c = FoldAsciiCase(c);
  return folded;
}

}  // namespace talmor
