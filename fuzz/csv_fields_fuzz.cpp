// Splitting any line stays within it and gives the fields of the plain byte
// rules, in whichever instruction set; every value written with FieldText
// comes back as exactly one field in its column.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/formats/csv_format.h"
#include "native/csv_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  // The set the processor lacks keeps the one before.
  UseScanSet(static_cast<ScanSet>(size % 3));
  const FieldList fields = SplitFields(input);
  std::size_t total = 0;
  for (const std::string_view field : fields) total += field.size();
  if (total > input.size() || fields.size() > input.size()) std::abort();
  if (input.empty() != fields.empty()) std::abort();
  if (std::vector<std::string>(fields.begin(), fields.end()) != csv_rules::Fields(input))
    std::abort();

  // The input as seven values separated by NUL bytes, written as one line.
  std::vector<std::string> values(kColumnCount);
  std::size_t column = 0;
  for (char c : input) {
    if (c == '\0') {
      if (++column == values.size()) break;
    } else {
      values[column] += c;
    }
  }
  std::string line;
  std::vector<std::string> expected;
  for (std::size_t i = 0; i < values.size(); ++i) {
    const std::string text = FieldText(values[i]);
    if (text.find_first_of(std::string_view("\r\n\x1a", 3)) != std::string::npos) std::abort();
    // A quoted text is the only kind that starts with a quote.
    expected.push_back(!text.empty() && text[0] == '"' ? text.substr(1, text.size() - 2) : text);
    if (i != 0) line += ';';
    line += text;
  }
  const FieldList back = SplitFields(line);
  // Every value back in its column; a trailing empty one may add no field.
  for (std::size_t i = 0; i < expected.size(); ++i)
    if ((i < back.size() ? back[i] : std::string_view()) != expected[i]) std::abort();
  if (back.size() > static_cast<std::size_t>(kColumnCount)) std::abort();
  return 0;
}
