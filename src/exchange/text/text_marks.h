// The bytes that mean something to a text file beyond its characters: the
// UTF-8 byte-order mark at its start, Ctrl-Z at its end, and the line ends.
#pragma once

#include <string_view>

// Old DOS programs end a text file with Ctrl-Z; nothing after it is text.
inline constexpr char kEndOfFile = 26;
inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

inline bool IsLineControl(char c) { return c == '\n' || c == '\r' || c == kEndOfFile; }

// The first line of a file without the UTF-8 byte-order mark that some
// programs put at its start.
inline std::string_view WithoutByteOrderMark(std::string_view firstLine) {
  if (firstLine.substr(0, kUtf8ByteOrderMark.size()) == kUtf8ByteOrderMark)
    firstLine.remove_prefix(kUtf8ByteOrderMark.size());
  return firstLine;
}
