#include "host/unicode_text.h"

namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The length of the valid sequence at the start of `bytes`, or 0 when there is
// none; a sequence cut short by the end of `bytes` answers 0 too, with
// `wanted` set to its full length when it is valid as far as it goes.
std::size_t SequenceLength(std::string_view bytes, std::size_t* wanted = nullptr) {
  const auto at = [&bytes](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const unsigned char lead = at(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;  // the range of the second byte
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  const std::size_t present = bytes.size() < length ? bytes.size() : length;
  if (present > 1 && (at(1) < low || at(1) > high)) return 0;
  for (std::size_t i = 2; i < present; ++i)
    if (!IsContinuation(at(i))) return 0;
  if (wanted != nullptr) *wanted = length;
  return present == length ? length : 0;
}

char32_t DecodeSequence(std::string_view bytes, std::size_t length) {
  const auto at = [&bytes](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  static constexpr unsigned char kLeadMask[5] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  char32_t character = at(0) & kLeadMask[length];
  for (std::size_t i = 1; i < length; ++i) character = (character << 6) | (at(i) & 0x3F);
  return character;
}

}  // namespace

bool IsAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

std::size_t ValidUtf8Prefix(std::string_view bytes) {
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    if (static_cast<unsigned char>(bytes[pos]) < 0x80) {
      ++pos;
      continue;
    }
    const std::size_t length = SequenceLength(bytes.substr(pos));
    if (length == 0) break;
    pos += length;
  }
  return pos;
}

bool BeginsUtf8Sequence(std::string_view bytes) {
  if (bytes.empty()) return false;
  std::size_t length = 0;
  return SequenceLength(bytes, &length) == 0 && length > bytes.size();
}

bool ReadUtf8Character(std::string_view text, char32_t& character, std::size_t& length) {
  length = text.empty() ? 0 : SequenceLength(text);
  if (length == 0) return false;
  character = DecodeSequence(text, length);
  return true;
}

void AppendUtf8(std::string& out, char32_t character) {
  if (character < 0x80) {
    out += static_cast<char>(character);
  } else if (character < 0x800) {
    out += static_cast<char>(0xC0 | (character >> 6));
    out += static_cast<char>(0x80 | (character & 0x3F));
  } else if (character < 0x10000) {
    out += static_cast<char>(0xE0 | (character >> 12));
    out += static_cast<char>(0x80 | ((character >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (character & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (character >> 18));
    out += static_cast<char>(0x80 | ((character >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((character >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (character & 0x3F));
  }
}

void AppendUtf16AsUtf8(const char16_t* units, std::size_t count, std::string& out) {
  for (std::size_t i = 0; i < count; ++i) {
    const char16_t unit = units[i];
    if (unit < 0x80) {
      out += static_cast<char>(unit);
    } else if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 &&
               units[i + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                          (static_cast<char32_t>(units[i + 1]) - 0xDC00));
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      AppendUtf8(out, kReplacementCharacter);
    } else {
      AppendUtf8(out, unit);
    }
  }
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string wide;
  wide.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    char32_t character = 0;
    std::size_t length = 0;
    if (!ReadUtf8Character(utf8.substr(pos), character, length)) {
      wide += static_cast<char16_t>(kReplacementCharacter);
      ++pos;
      continue;
    }
    pos += length;
    if (character < 0x10000) {
      wide += static_cast<char16_t>(character);
    } else {
      wide += static_cast<char16_t>(0xD800 + ((character - 0x10000) >> 10));
      wide += static_cast<char16_t>(0xDC00 + ((character - 0x10000) & 0x3FF));
    }
  }
  return wide;
}

std::string_view Utf8Prefix(std::string_view text, std::size_t characters) {
  std::size_t pos = 0;
  for (std::size_t counted = 0; counted < characters && pos < text.size(); ++counted) {
    ++pos;
    while (pos < text.size() && IsContinuation(static_cast<unsigned char>(text[pos]))) ++pos;
  }
  return text.substr(0, pos);
}

namespace {

// Within [first, last], the capital letters are those whose code is even
// (`capitalOdd` false) or odd, each followed by its small letter.
bool PairedCapital(char32_t c, char32_t first, char32_t last, bool capitalOdd) {
  return c >= first && c <= last && ((c & 1u) != 0) == capitalOdd;
}

}  // namespace

char32_t FoldCharacter(char32_t c) {
  if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 32 : c;
  if (c < 0x100) {
    if (c == 0xB5) return 0x3BC;  // micro sign: Greek small mu
    return c >= 0xC0 && c <= 0xDE && c != 0xD7 ? c + 32 : c;
  }
  if (c < 0x180) {
    if (c == 0x130) return 'i';   // capital I with dot above
    if (c == 0x178) return 0xFF;  // capital Y with diaeresis
    if (c == 0x17F) return 's';   // long s
    if (PairedCapital(c, 0x100, 0x137, false) || PairedCapital(c, 0x139, 0x148, true) ||
        PairedCapital(c, 0x14A, 0x177, false) || PairedCapital(c, 0x179, 0x17E, true))
      return c + 1;
    return c;
  }
  if (c >= 0x370 && c < 0x400) {
    if (c == 0x386) return 0x3AC;
    if (c >= 0x388 && c <= 0x38A) return c + 37;
    if (c == 0x38C) return 0x3CC;
    if (c == 0x38E || c == 0x38F) return c + 63;
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;
    if (c == 0x3C2) return 0x3C3;  // final sigma
    if (PairedCapital(c, 0x3D8, 0x3EF, false)) return c + 1;
    return c;
  }
  if (c >= 0x400 && c < 0x530) {
    if (c <= 0x40F) return c + 80;
    if (c <= 0x42F) return c + 32;
    if (c == 0x4C0) return 0x4CF;
    if (PairedCapital(c, 0x460, 0x481, false) || PairedCapital(c, 0x48A, 0x4BF, false) ||
        PairedCapital(c, 0x4C1, 0x4CE, true) || PairedCapital(c, 0x4D0, 0x52F, false))
      return c + 1;
  }
  return c;
}

std::string FoldCase(std::string_view text) {
  std::string folded;
  folded.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      folded += static_cast<char>(byte >= 'A' && byte <= 'Z' ? byte + 32 : byte);
      ++i;
      continue;
    }
    char32_t character = 0;
    std::size_t length = 0;
    if (!ReadUtf8Character(text.substr(i), character, length)) {
      folded += text[i++];
      continue;
    }
    AppendUtf8(folded, FoldCharacter(character));
    i += length;
  }
  return folded;
}
