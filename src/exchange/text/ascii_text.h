// Small text helpers of the file readers: titles, property names and
// parameters are compared in ASCII, without regard to case.
#pragma once

#include <cstddef>
#include <string_view>

inline char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether `text` equals `lower` (written in small letters) regardless of case.
inline bool EqualsNoCase(std::string_view text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (std::size_t at = 0; at < text.size(); ++at)
    if (LowerAscii(text[at]) != lower[at]) return false;
  return true;
}

// Without the characters of code 32 or less at either end.
inline std::string_view TrimView(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= 32) text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= 32) text.remove_suffix(1);
  return text;
}
