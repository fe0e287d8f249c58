// The exchange file's byte rules written the plain way, one byte at a time:
// what the line reader and the field splitter, which look at many bytes at
// once, must give.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace csv_rules {

// LF or CR LF ends a line; a lone CR is dropped, or ends the line when the
// first 64 KiB hold CRs and no LF; byte 26 ends the file.
inline std::vector<std::string> Lines(std::string_view bytes) {
  const std::string_view probe = bytes.substr(0, 64 * 1024);
  const bool crEndsLines =
      probe.find('\r') != std::string_view::npos && probe.find('\n') == std::string_view::npos;
  std::vector<std::string> lines;
  std::string line;
  bool begun = false;
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    const char c = bytes[at];
    if (c == 26) break;
    const bool crLf = c == '\r' && at + 1 < bytes.size() && bytes[at + 1] == '\n';
    if (c == '\n' || crLf || (c == '\r' && crEndsLines)) {
      lines.push_back(line);
      line.clear();
      begun = false;
      if (crLf) ++at;
      continue;
    }
    begun = true;
    if (c != '\r') line += c;
  }
  if (begun) lines.push_back(line);
  return lines;
}

// A field that begins with a quote runs to the first quote followed by a
// semicolon or by the line's end, without its enclosing quotes; any other
// runs to the next semicolon. A semicolon at the line's end adds no field.
inline std::vector<std::string> Fields(std::string_view line) {
  std::vector<std::string> fields;
  std::size_t pos = 0;
  while (pos < line.size()) {
    if (line[pos] != '"') {
      const std::size_t end = std::min(line.find(';', pos), line.size());
      fields.emplace_back(line.substr(pos, end - pos));
      pos = end + 1;
      continue;
    }
    std::size_t end = pos + 1;
    while (end < line.size() &&
           !(line[end] == '"' && (end + 1 == line.size() || line[end + 1] == ';')))
      ++end;
    fields.emplace_back(line.substr(pos + 1, end - pos - 1));
    pos = end + 2;
  }
  return fields;
}

}  // namespace csv_rules
