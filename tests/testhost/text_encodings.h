// Text encodings for the test host and the tests: code page 1252 (Western
// European), the system code page under Wine here, which the test host uses
// for 8-bit text and which stands in for the platform's code page natively;
// and files of UTF-16 text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace testhost {

// `utf8` in code page 1252; std::nullopt when a character has no byte there.
std::optional<std::string> EncodeCp1252(std::string_view utf8);
std::string DecodeCp1252(std::string_view bytes);

// `text` as the bytes of a UTF-16 file: its byte-order mark, then its units
// in the byte order asked for.
std::string Utf16FileBytes(const std::u16string& text, bool littleEndian);

}  // namespace testhost
