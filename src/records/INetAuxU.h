// Dotted address text: a 32-bit address number and its dotted decimal form.
//
// The two conversions pair the first dotted part with the least significant
// byte. A Kestrin user's stored address holds the first part in its most
// significant byte, so the editor passes every text through ReverseDotted on
// its way in and out.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Byte 0 first, then bytes 1, 2 and 3, joined by dots: 0x04030201 gives
// "1.2.3.4"; always four parts.
std::string AddrToDotted(uint32_t address);

// The first four dot-separated parts, each an integer text from 0 to 255, the
// first landing in byte 0; anything after the fourth part is ignored. 0 for a
// text that is not an address.
uint32_t DottedToAddr(std::string_view text);

// The parts in reverse order: leading empty parts and a trailing dot vanish,
// empty parts after the first non-empty one stay, and a text without a dot
// gains one at its end ("abc" gives "abc.").
std::string ReverseDotted(std::string_view text);
