// The line reader gives the same lines however the bytes arrive, the lines of
// the plain byte rules in whichever instruction set, and no line holds a line
// end or byte 26. The decoding in front of it gives the same text however the
// bytes arrive, and that text is always valid UTF-8.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "exchange/formats/csv_format.h"
#include "exchange/text/line_reader.h"
#include "exchange/text/text_decoding.h"
#include "host/unicode_text.h"
#include "native/csv_rules.h"

namespace {

// Hands out the bytes in pieces whose sizes cycle through `pattern`.
class PieceSource : public ByteSource {
 public:
  PieceSource(std::string_view bytes, std::vector<std::size_t> pattern)
      : bytes_(bytes), pattern_(std::move(pattern)) {}
  bool Read(char* buffer, std::size_t capacity, std::size_t& count) override {
    const std::size_t piece = pattern_[next_++ % pattern_.size()];
    count = std::min({capacity, piece, bytes_.size()});
    std::memcpy(buffer, bytes_.data(), count);
    bytes_.remove_prefix(count);
    return true;
  }

 private:
  std::string_view bytes_;
  std::vector<std::size_t> pattern_;
  std::size_t next_ = 0;
};

std::vector<std::string> ReadAll(ByteSource& source, std::size_t chunk) {
  LineReader reader(source, chunk);
  std::vector<std::string> lines;
  std::string_view line;
  while (reader.Next(line)) lines.emplace_back(line);
  if (reader.Failed() || reader.Next(line)) std::abort();
  return lines;
}

// The whole text a decoding source hands out.
std::string DecodeAll(ByteSource& raw, std::size_t chunk) {
  DecodingSource source(raw, chunk);
  std::string text;
  char buffer[7];
  std::size_t count = 0;
  while (source.Read(buffer, sizeof buffer, count) && count != 0) text.append(buffer, count);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const std::vector<std::size_t> pattern = {std::size_t{data[0]} % 7 + 1,
                                            std::size_t{data[1]} % 31 + 1};
  const std::size_t chunk = std::size_t{data[2]} % 13 + 1;
  const std::string_view bytes(reinterpret_cast<const char*>(data + 3), size - 3);

  // The set the processor lacks keeps the one before.
  UseScanSet(static_cast<ScanSet>(data[2] % 3));
  MemorySource whole(bytes);
  const std::vector<std::string> expected = ReadAll(whole, 1 << 16);
  PieceSource pieces(bytes, pattern);
  if (ReadAll(pieces, chunk) != expected) std::abort();
  if (expected != csv_rules::Lines(bytes)) std::abort();

  std::size_t total = 0;
  for (const std::string& line : expected) {
    if (line.find_first_of(std::string_view("\r\n\x1a", 3)) != std::string::npos) std::abort();
    total += line.size();
  }
  if (total > bytes.size()) std::abort();

  MemorySource wholeText(bytes);
  const std::string text = DecodeAll(wholeText, 1 << 16);
  PieceSource textPieces(bytes, pattern);
  if (DecodeAll(textPieces, chunk) != text || !IsValidUtf8(text)) std::abort();
  return 0;
}
