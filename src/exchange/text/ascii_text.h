// Small text helpers of the file readers: titles, property names and
// parameters are compared in ASCII, without regard to case.
#pragma once

#include <cstddef>
#include <string_view>

inline char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether `a` and `b` are the same text regardless of case.
inline bool SameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t at = 0; at < a.size(); ++at)
    if (LowerAscii(a[at]) != LowerAscii(b[at])) return false;
  return true;
}

// Whether `text` equals `lower` (written in small letters) regardless of case.
inline bool EqualsNoCase(std::string_view text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (std::size_t at = 0; at < text.size(); ++at)
    if (LowerAscii(text[at]) != lower[at]) return false;
  return true;
}
