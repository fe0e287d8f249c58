// Reading a whole text as a signed 32-bit integer, as the contact type column
// and the parts of a dotted address are read.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// Leading blanks (code 32 only), an optional sign, then decimal digits, or
// hexadecimal digits after "$", "x", "X", "0x" or "0X". Nothing may follow.
// A decimal number must lie in the signed 32-bit range once signed; a
// hexadecimal one must fit in 32 bits and is read as a signed pattern.
// std::nullopt for anything else.
std::optional<int32_t> ParseInt32(std::string_view text);
