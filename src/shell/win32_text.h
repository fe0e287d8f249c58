// The plug-in's UTF-8 text as the wide text of the platform's functions.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

std::wstring Widen(std::string_view utf8);
std::string Narrow(const wchar_t* wide, int length);
inline std::string Narrow(const std::wstring& wide) {
  return Narrow(wide.data(), static_cast<int>(wide.size()));
}
