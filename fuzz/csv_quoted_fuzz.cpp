// Comma and tab records split within their input, and the records that
// QuoteField writes (values separated by NUL bytes in the input) read back
// with the same values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/formats/csv_dialect.h"
#include "native/csv_writing.h"

namespace {

constexpr std::size_t kValues = 7;

using Texts = std::vector<std::string>;

// Every record, its fields copied out (they view the reader's buffer).
std::vector<Texts> ReadRecords(std::string_view text, char separator, bool& unclosed) {
  MemorySource source(text);
  LineReader reader(source, 11);
  LineStream lines(reader);
  RecordReader records(lines, separator);
  std::vector<Texts> read;
  FieldList fields;
  RecordReader::Result result;
  while ((result = records.Next(fields)) != RecordReader::Result::End) {
    read.emplace_back(fields.begin(), fields.end());
    unclosed = result == RecordReader::Result::Unclosed;
  }
  return read;
}

// A value as the line reader lets it through: CR LF or LF as CR LF, a CR
// alone dropped; byte 26 cannot be carried and is left out of the values.
std::string AsReadBack(std::string_view value) {
  std::string text;
  for (std::size_t at = 0; at < value.size(); ++at) {
    if (value[at] == '\n') {
      text += "\r\n";
    } else if (value[at] != '\r') {
      text += value[at];
    }
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  if (input.empty()) return 0;
  const char separator = input[0] % 2 == 0 ? kComma : kTab;

  std::string storage;
  const FieldList fields = SplitQuotedFields(input, separator, storage);
  std::size_t total = 0;
  for (const std::string_view field : fields) total += field.size();
  if (total > input.size() || fields.size() > input.size() + 1) std::abort();
  bool unclosed = false;
  for (const Texts& record : ReadRecords(input, separator, unclosed))
    if (record.size() > input.size() + 1) std::abort();

  std::vector<std::string> values(kValues);
  std::size_t slot = 0;
  for (const char c : input.substr(1)) {
    if (c == '\0') {
      if (++slot == kValues) break;
    } else if (c != 26) {
      values[slot] += c;
    }
  }
  std::string record;
  Texts expected;
  for (std::size_t i = 0; i < kValues; ++i) {
    if (i != 0) record += separator;
    record += QuoteField(values[i], separator);
    expected.push_back(AsReadBack(values[i]));
  }
  unclosed = false;
  const std::vector<Texts> back = ReadRecords(record + "\r\n" + record, separator, unclosed);
  if (unclosed || back.size() != 2 || back[0] != expected || back[1] != expected) std::abort();
  return 0;
}
