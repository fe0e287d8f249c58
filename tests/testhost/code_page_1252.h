// Code page 1252 (Western European), the system code page under Wine here:
// the test host's conversions of 8-bit text, and natively the stand-in of the
// platform's code-page conversions.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace testhost {

// `utf8` in code page 1252; std::nullopt when a character has no byte there.
std::optional<std::string> EncodeCp1252(std::string_view utf8);
std::string DecodeCp1252(std::string_view bytes);

}  // namespace testhost
