// The system's 8-bit code page ("ANSI"), a platform fact: conversions between
// it and the plug-in's UTF-8. The DLL implements them with the system's
// conversions; the native test host with a stand-in of code page 1252.
#pragma once

#include <string>
#include <string_view>

namespace shell {

// `utf8` in the code page; false when the code page cannot represent every
// character exactly (no best-fit letters, no default character).
bool EncodeCodePage(std::string_view utf8, std::string& bytes);
// Text of the code page as UTF-8.
std::string DecodeCodePage(std::string_view bytes);

}  // namespace shell
