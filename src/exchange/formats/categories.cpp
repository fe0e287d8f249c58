#include "exchange/formats/categories.h"

#include "exchange/text/ascii_text.h"
#include "host/unicode_text.h"
#include "records/ContactDetails.h"

namespace {

constexpr std::string_view kLabelSeparator = " ::: ";
constexpr std::string_view kSystemLabelMark = "* ";

bool IsControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c < 0xA0); }

std::size_t Utf16Units(char32_t c) { return c > 0xFFFF ? 2 : 1; }

// One level's characters, control characters as blanks and invalid bytes as
// U+FFFD, at most `units` UTF-16 units of them; blanks around it go.
std::string CleanLevel(std::string_view level, std::size_t units) {
  level = TrimView(level);
  std::string text;
  std::size_t used = 0;
  std::size_t keep = 0;  // the length without trailing blanks
  for (std::size_t at = 0; at < level.size();) {
    char32_t c = 0;
    std::size_t length = 0;
    if (!ReadUtf8Character(level.substr(at), c, length)) {
      c = kReplacementCharacter;
      length = 1;
    }
    at += length;
    if (IsControl(c)) c = ' ';
    if (c == ' ' && text.empty()) continue;  // a control character at the start
    if (used + Utf16Units(c) > units) break;
    used += Utf16Units(c);
    AppendUtf8(text, c);
    if (c != ' ') keep = text.size();
  }
  text.resize(keep);
  return text;
}

// UTF-16 units of valid UTF-8 text.
std::size_t UnitsOf(std::string_view text) {
  std::size_t units = 0;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte & 0xC0) != 0x80) units += byte >= 0xF0 ? 2 : 1;
  }
  return units;
}

// The contact type a category names by its English caption, or 0.
int NamedType(std::string_view category) {
  category = TrimView(category);
  for (int type = 1; type < kContactTypeCount; ++type) {
    const std::string_view caption = kContactTypeCaptions[type];
    if (category.size() != caption.size()) continue;
    bool same = true;
    for (std::size_t at = 0; same && at < caption.size(); ++at)
      same = LowerAscii(category[at]) == LowerAscii(caption[at]);
    if (same) return type;
  }
  return 0;
}

}  // namespace

std::string GroupName(std::string_view category) {
  std::string name;
  std::size_t units = 0;
  for (std::size_t start = 0; start <= category.size() && units < kMaxGroupNameUnits;) {
    std::size_t end = category.find(kGroupLevelSeparator, start);
    if (end == std::string_view::npos) end = category.size();
    const std::string_view level = category.substr(start, end - start);
    start = end + 1;
    const std::size_t separator = name.empty() ? 0 : 1;
    if (units + separator >= kMaxGroupNameUnits) break;
    const std::string text = CleanLevel(level, kMaxGroupNameUnits - units - separator);
    if (text.empty()) continue;
    if (separator != 0) name += kGroupLevelSeparator;
    name += text;
    units += separator + UnitsOf(text);
  }
  return name;
}

void CategoryReader::Take(std::string_view category, bool systemLabel) {
  if (Done() || systemLabel) return;
  const int type = NamedType(category);
  if (group_.empty()) {
    group_ = GroupName(category);
    if (!group_.empty()) {
      if (type != 0) groupType_ = std::to_string(type);
      return;
    }
  }
  if (type != 0 && type_.empty()) type_ = std::to_string(type);
}

void CategoryReader::TakeField(std::string_view field, CategoryList list) {
  if (list == CategoryList::Whole) {
    Take(field);
    return;
  }
  for (std::size_t start = 0; start <= field.size() && !Done();) {
    std::size_t end;
    std::size_t next;
    if (list == CategoryList::Labels) {
      end = field.find(kLabelSeparator, start);
      next = end == std::string_view::npos ? end : end + kLabelSeparator.size();
    } else {
      end = field.find_first_of(";,", start);
      next = end == std::string_view::npos ? end : end + 1;
    }
    if (end == std::string_view::npos) end = field.size();
    const std::string_view category = TrimView(field.substr(start, end - start));
    Take(category, list == CategoryList::Labels && category.substr(0, 2) == kSystemLabelMark);
    if (next == std::string_view::npos) break;
    start = next;
  }
}
