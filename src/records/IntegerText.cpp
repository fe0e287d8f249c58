#include "records/IntegerText.h"

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<int32_t> ParseInt32(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size() && text[pos] == ' ') ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) {
    negative = text[pos] == '-';
    ++pos;
  }
  const std::string_view rest = text.substr(pos);
  std::size_t digits = 0;
  bool hex = false;
  if (!rest.empty() && (rest[0] == '$' || rest[0] == 'x' || rest[0] == 'X')) {
    hex = true;
    digits = 1;
  } else if (rest.size() >= 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) {
    hex = true;
    digits = 2;
  }
  const std::string_view number = rest.substr(digits);
  if (number.empty()) return std::nullopt;

  if (hex) {
    uint64_t value = 0;
    for (char c : number) {
      const int digit = HexDigit(c);
      if (digit < 0) return std::nullopt;
      value = value * 16 + static_cast<uint64_t>(digit);
      if (value > 0xFFFFFFFFu) return std::nullopt;
    }
    const auto pattern = static_cast<uint32_t>(value);
    // Negating the pattern in unsigned arithmetic avoids overflow for 0x80000000.
    return static_cast<int32_t>(negative ? 0u - pattern : pattern);
  }

  uint64_t value = 0;
  for (char c : number) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > 2147483648u) return std::nullopt;
  }
  if (negative) return static_cast<int32_t>(0u - static_cast<uint32_t>(value));
  if (value > 2147483647u) return std::nullopt;
  return static_cast<int32_t>(value);
}
