// Hexadecimal text as the send and receive paths use it: blanks dropped, digits paired into bytes,
// and bytes rendered as "%02X " pairs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quenlet {

// The text without spaces, carriage returns and line feeds; tabs and everything else stay.
std::string removeBlanks(std::string_view text);

// True when every character is 0-9, a-f or A-F (true for an empty text).
bool isHexDigits(std::string_view text);

// Pairs the digits from the start; an odd last digit stands alone as its own value (ABC gives
// 0xAB 0x0C). The text must hold digits only.
std::vector<std::uint8_t> hexDigitsToBytes(std::string_view digits);

// Appends "%02X " for every byte: two uppercase digits and a space.
void appendHexPairs(std::string& out, const std::uint8_t* bytes, size_t count);

}  // namespace quenlet
