#include "records/INetAuxU.h"

#include <vector>

#include "records/IntegerText.h"

std::string AddrToDotted(uint32_t address) {
  std::string text;
  for (int k = 0; k < 4; ++k) {
    if (k > 0) text += '.';
    text += std::to_string((address >> (8 * k)) & 0xFFu);
  }
  return text;
}

uint32_t DottedToAddr(std::string_view text) {
  uint32_t result = 0;
  std::string_view rest = text;
  for (int k = 0; k < 4; ++k) {
    const std::size_t dot = rest.find('.');
    const std::string_view part = rest.substr(0, dot);
    if (part.empty()) return 0;
    rest = dot == std::string_view::npos ? std::string_view() : rest.substr(dot + 1);
    const std::optional<int32_t> value = ParseInt32(part);
    if (!value || *value < 0 || *value > 255) return 0;
    result |= static_cast<uint32_t>(*value) << (8 * k);
  }
  return result;
}

std::string ReverseDotted(std::string_view text) {
  // The result grows at its front: the first non-empty part is its tail, and
  // every later part is put in front of it followed by a dot. Collecting the
  // parts first and joining them once keeps the work linear.
  std::string_view tail;
  bool started = false;
  std::vector<std::string_view> inFront;
  std::size_t begin = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    const bool atEnd = i == text.size();
    if (!atEnd && text[i] != '.') continue;
    const std::string_view part = text.substr(begin, i - begin);
    begin = i + 1;
    if (atEnd && part.empty()) break;
    if (!started && !atEnd) {
      // Empty parts before the first non-empty one leave the result empty.
      if (!part.empty()) {
        tail = part;
        started = true;
      }
      continue;
    }
    inFront.push_back(part);
  }
  std::string result;
  std::size_t length = tail.size();
  for (const std::string_view part : inFront) length += part.size() + 1;
  result.reserve(length);
  for (auto part = inFront.rbegin(); part != inFront.rend(); ++part) {
    result.append(part->data(), part->size());
    result += '.';
  }
  result.append(tail.data(), tail.size());
  return result;
}
