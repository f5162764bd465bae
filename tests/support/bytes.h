#pragma once

// Whole files as bytes and little-endian fields, for tests that build or inspect file layouts.

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>

namespace talmor::testing {

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline std::string Le16(uint16_t v) { return {static_cast<char>(v), static_cast<char>(v >> 8)}; }
inline std::string Le32(uint32_t v) { return Le16(static_cast<uint16_t>(v)) + Le16(v >> 16); }

inline uint32_t U16At(const std::string& bytes, size_t at) {
  return static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8;
}
inline uint32_t U32At(const std::string& bytes, size_t at) {
  return U16At(bytes, at) | U16At(bytes, at + 2) << 16;
}

}  // namespace talmor::testing
