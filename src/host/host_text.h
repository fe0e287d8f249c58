// The plug-in's UTF-8 text in the system's 8-bit code page and back. Plain
// ASCII is the same in both and never reaches the platform's conversions.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The code page's bytes for `utf8`; std::nullopt when the code page cannot
// represent it exactly.
std::optional<std::string> ToCodePage(std::string_view utf8);
std::string FromCodePage(std::string_view bytes);
