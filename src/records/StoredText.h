// Text inside the plug-in is UTF-8; the host and the files hold 8-bit text in
// the system's code page as well. This is the storage rule for text settings
// and the conversions at those edges. Plain ASCII is the same in both and
// never reaches the platform's conversions.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "host/m_globaldefs.h"

// The code page's bytes for `utf8`; std::nullopt when the code page cannot
// represent it exactly.
std::optional<std::string> ToCodePage(std::string_view utf8);
std::string FromCodePage(std::string_view bytes);

// A text setting as UTF-8, or `fallback` when it is missing or no text.
std::string GetSettingString(ContactHandle contact, const char* module, const char* setting,
                             const std::string& fallback);
// Writes 8-bit text when the code page represents `utf8` exactly, byte for
// byte what other plug-ins and earlier versions read; otherwise UTF-8. True
// when the host stored it (cut to what its database keeps, if need be).
bool WriteSettingString(ContactHandle contact, const char* module, const char* setting,
                        const std::string& utf8);

// The host's translation of `text` (TranslateText) as UTF-8.
std::string Translated(const char* text);
