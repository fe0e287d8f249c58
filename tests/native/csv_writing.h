// Writing comma and tab files, which the plug-in only reads: the tests, the
// fuzz targets and the benchmarks make such files with it.
#pragma once

#include <string>
#include <string_view>

// The text of `value` in a comma or tab file: quoted, with its quotes
// doubled, when it holds the separator, a quote or a line break.
inline std::string QuoteField(std::string_view value, char separator) {
  const bool needsQuotes =
      value.find_first_of(std::string{separator, '"', '\r', '\n'}) != std::string_view::npos;
  if (!needsQuotes) return std::string(value);
  std::string quoted;
  quoted.reserve(value.size() + 4);
  quoted += '"';
  for (const char c : value) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}
