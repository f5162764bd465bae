#pragma once

#include <cstddef>
#include <string_view>

namespace talmor {

// Copies `text` into a caller's buffer of `size` bytes the way every output string of the
// library is delivered: at most size - 1 bytes of it and a terminating zero byte. A null buffer
// or a size below 1 (a negative size counts as 0) is skipped and nothing is written. Returns the
// number of bytes of `text` copied (the zero byte not counted); 0 when skipped.
size_t CopyToBuffer(std::string_view text, char* buffer, int size);

// The same for a size already held unsigned.
size_t CopyToBuffer(std::string_view text, char* buffer, size_t size);

}  // namespace talmor
