#pragma once

#include <cstdint>

namespace talmor {

// Constants and the group decoding shared by RecordReader and RecordWriter.
//
// Each text byte b is stored as one 4-byte group: the IEEE 754 single-precision value of
// (b XOR kRecordKey), little-endian. Lines end with kLineEnd; list names end with kListSeparator.
inline constexpr std::uint32_t kRecordKey = 0x5D;
inline constexpr char kLineEnd = 0x01;
inline constexpr char kListSeparator = 0x02;
inline constexpr char kRecordStartLine[] = "##START";
inline constexpr char kRecordEndLine[] = "##END";

// Decodes one group, given as the 32-bit little-endian word read from the file, into the value
// c = n XOR kRecordKey, where n is the float plus 0.5 truncated toward zero to 32 bits. Defined for
// every bit pattern: NaN, infinities and results outside the 32-bit signed range give n =
// INT32_MIN (0x80000000), as the x86 truncating conversion does.
std::uint32_t DecodeRecordGroup(std::uint32_t word);

}  // namespace talmor
