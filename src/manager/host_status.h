#pragma once

#include <string>
#include <string_view>

namespace talmor {

// The host's status slot that carries the name of the user logged on in any of its processes.
inline constexpr int kUserNameSlot = 47;
// Longest name that is published; longer names are not written at all.
inline constexpr std::size_t kMaxPublishedNameLength = 32;

// Writes `name` into the user name slot when it has at most 32 characters; a longer name is not
// written and the slot keeps its previous value.
void PublishUserName(std::string_view name);

// The user name slot's text as read into a 32-byte buffer: at most 31 characters, "" when empty.
std::string ReadPublishedUserName();

}  // namespace talmor
