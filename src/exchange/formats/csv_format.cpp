#include "exchange/formats/csv_format.h"

#include <algorithm>

#include "exchange/text/text_marks.h"

void SplitFields(std::string_view line, FieldList& fields) {
  ActiveScans().splitSemicolonFields(line, fields);
}

FieldList SplitFields(std::string_view line) {
  FieldList fields;
  SplitFields(line, fields);
  return fields;
}

int32_t FindColumn(const FieldList& fields, std::string_view title) {
  const auto found = std::find(fields.begin(), fields.end(), title);
  if (found == fields.end()) return kAbsentColumn;
  return static_cast<int32_t>(std::min<std::ptrdiff_t>(found - fields.begin(), kAbsentColumn - 1));
}

std::string FieldText(std::string_view value) {
  std::string text(value);
  std::replace_if(text.begin(), text.end(), IsLineControl, ' ');
  const bool needsQuotes = text.find(';') != std::string::npos || (!text.empty() && text[0] == '"');
  if (!needsQuotes) return text;
  std::string quoted;
  quoted.reserve(text.size() + 4);
  quoted += '"';
  for (std::size_t at = 0; at < text.size(); ++at) {
    quoted += text[at];
    // Inside quotes, '";' would close the field early.
    if (text[at] == '"' && at + 1 < text.size() && text[at + 1] == ';') quoted += ' ';
  }
  quoted += '"';
  return quoted;
}

std::string RecordLine(const ColumnValues& values) {
  std::string line = FieldText(values.text[0]);
  for (int column = 1; column < kColumnCount; ++column) {
    line += ';';
    line += FieldText(values.text[column]);
  }
  return line;
}
