// The integer reader agrees with the standard library on plain decimal text
// and reads back every number it gives in decimal.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "records/IntegerText.h"

namespace {

// Blanks, an optional sign, then 1 to 18 decimal digits and nothing else.
bool IsShortDecimal(const std::string& text) {
  std::size_t pos = text.find_first_not_of(' ');
  if (pos == std::string::npos) return false;
  if (text[pos] == '+' || text[pos] == '-') ++pos;
  const std::size_t digits = text.size() - pos;
  if (digits == 0 || digits > 18) return false;
  return text.find_first_not_of("0123456789", pos) == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::optional<int32_t> value = ParseInt32(text);
  if (value && ParseInt32(std::to_string(*value)) != value) std::abort();
  if (IsShortDecimal(text)) {
    const long long expected = std::strtoll(text.c_str(), nullptr, 10);
    const bool fits = expected >= INT32_MIN && expected <= INT32_MAX;
    if (fits != value.has_value()) std::abort();
    if (fits && *value != expected) std::abort();
  }
  return 0;
}
