#include "platform/names.h"

#include <bit>
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

// The bytes of `name` from `from` on (one to seven of them) as a word, zero-filled above, as a
// copy of them into a zeroed word would give; read with fixed-size loads rather than a copy of
// a variable length.
std::uint64_t TailWord(std::string_view name, std::size_t from) {
  const std::size_t n = name.size() - from;
  const char* p = name.data() + from;
  if constexpr (std::endian::native == std::endian::little) {
    if (name.size() >= 8) {
      // The last eight bytes, the ones already taken shifted out.
      std::uint64_t last;
      std::memcpy(&last, name.data() + name.size() - 8, 8);
      return last >> (8 * (8 - n));
    }
    if (n >= 4) {
      // Two four-byte loads that overlap: the shared bytes land on the same places.
      std::uint32_t low, high;
      std::memcpy(&low, p, 4);
      std::memcpy(&high, p + n - 4, 4);
      return low | std::uint64_t{high} << (8 * (n - 4));
    }
    const auto byte = [p](std::size_t k) {
      return std::uint64_t{static_cast<unsigned char>(p[k])} << (8 * k);
    };
    return byte(0) | byte(n / 2) | byte(n - 1);
  } else {
    std::uint64_t word = 0;
    std::memcpy(&word, p, n);
    return word;
  }
}

std::uint64_t LoadWord(const char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, 8);
  return word;
}

// Both words spread over all 64 bits: the two halves of their 128-bit product folded together.
std::uint64_t MixPair(std::uint64_t a, std::uint64_t b) {
#if defined(__SIZEOF_INT128__)
  const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
  return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
#else
  std::uint64_t h = (a ^ (b >> 29)) * 0xff51afd7ed558ccdu;
  h ^= h >> 33;
  h = (h ^ b) * 0xc2b2ae3d27d4eb4fu;
  return h ^ (h >> 29);
#endif
}

constexpr std::uint64_t kSeedA = 0xa0761d6478bd642fu, kSeedB = 0xe7037ed1a0b428dbu;

}  // namespace

std::uint64_t HashIgnoringCase(std::string_view name) {
  // Names up to 16 bytes (most of them) take one product; up to 8 bytes come from one word,
  // longer ones from the first and the last eight bytes, which may overlap.
  const std::size_t n = name.size();
  const char* p = name.data();
  std::uint64_t a = 0, b = 0;
  if (n > 16) {
    std::uint64_t seed = kSeedB;
    std::size_t i = 0;
    for (; i + 16 < n; i += 16) {
      seed = MixPair(FoldEightBytes(LoadWord(p + i)) ^ kSeedA,
                     FoldEightBytes(LoadWord(p + i + 8)) ^ seed);
    }
    a = FoldEightBytes(LoadWord(p + n - 16));
    b = FoldEightBytes(LoadWord(p + n - 8)) ^ seed;
  } else if (n >= 8) {
    a = FoldEightBytes(LoadWord(p));
    b = FoldEightBytes(LoadWord(p + n - 8));
  } else if (n > 0) {
    a = FoldEightBytes(TailWord(name, 0));
  }
  return MixPair(a ^ kSeedA, b ^ kSeedB ^ n);
}

std::string FoldCase(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) c = FoldAsciiCase(c);
  return folded;
}

}  // namespace talmor
