#include "testhost/text_encodings.h"

#include "host/unicode_text.h"

namespace testhost {
namespace {

// Bytes 0x80 to 0x9F; the five bytes the code page leaves undefined map to the
// control characters of the same number, as the system's tables do.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::optional<char> ByteFor(char32_t character) {
  if (character < 0x80 || (character >= 0xA0 && character <= 0xFF))
    return static_cast<char>(character);
  for (int i = 0; i < 32; ++i)
    if (kHighControls[i] == character) return static_cast<char>(0x80 + i);
  return std::nullopt;
}

}  // namespace

std::optional<std::string> EncodeCp1252(std::string_view utf8) {
  std::string bytes;
  bytes.reserve(utf8.size());
  while (!utf8.empty()) {
    char32_t character = 0;
    std::size_t length = 0;
    if (!ReadUtf8Character(utf8, character, length)) return std::nullopt;
    const std::optional<char> byte = ByteFor(character);
    if (!byte) return std::nullopt;
    bytes += *byte;
    utf8.remove_prefix(length);
  }
  return bytes;
}

std::string DecodeCp1252(std::string_view bytes) {
  std::string utf8;
  utf8.reserve(bytes.size());
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    AppendUtf8(utf8, byte >= 0x80 && byte <= 0x9F ? kHighControls[byte - 0x80] : byte);
  }
  return utf8;
}

std::string Utf16FileBytes(const std::u16string& text, bool littleEndian) {
  std::string bytes;
  for (char16_t unit : u"\uFEFF" + text) {
    const char low = static_cast<char>(unit & 0xFF);
    const char high = static_cast<char>(unit >> 8);
    bytes += littleEndian ? low : high;
    bytes += littleEndian ? high : low;
  }
  return bytes;
}

}  // namespace testhost
