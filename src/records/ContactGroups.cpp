#include "records/ContactGroups.h"

#include "host/m_globaldefs.h"
#include "host/unicode_text.h"
#include "records/StoredText.h"

namespace {

constexpr const char* kGroupsModule = "CListGroups";
// The flags that "CList/GroupCreate" gives a new group.
constexpr char kNewGroupFlags = '\x05';
constexpr char kLevelSeparator = '\\';

char32_t FoldCharacter(char32_t c) {
  if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 0x20 : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
  if (c == 0x178) return 0xFF;
  if (c >= 0x100 && c <= 0x17E && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149) {
    // Pairs of capital and small letter: even capitals, except from U+0139 to U+0148
    // and from U+0179 on, where the capitals are odd.
    const bool oddCapitals = (c >= 0x139 && c <= 0x148) || c >= 0x179;
    return (c % 2 == 1) == oddCapitals ? c + 1 : c;
  }
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 0x20;
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  return c;
}

// `text` in small letters for comparing names: the capitals of ASCII,
// Latin-1, Latin Extended-A, Greek and Cyrillic; everything else as it is.
std::string FoldCase(const std::string& text) {
  std::string folded;
  folded.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    char32_t c = 0;
    std::size_t length = 0;
    if (!ReadUtf8Character(std::string_view(text).substr(at), c, length)) {
      folded += text[at++];
      continue;
    }
    AppendUtf8(folded, FoldCharacter(c));
    at += length;
  }
  return folded;
}

}  // namespace

void ContactGroups::ReadStored() {
  read_ = true;
  for (;; ++count_) {
    const std::string number = std::to_string(count_);
    const std::optional<HostText> stored = GetSettingText(0, kGroupsModule, number.c_str());
    if (!stored) return;
    const std::string text =
        stored->type == DBVT_ASCIIZ ? FromCodePage(stored->text) : stored->text;
    const std::string name = text.empty() ? text : text.substr(1);  // after the flag byte
    spelled_.emplace(FoldCase(name), name);                         // of two alike, the first
  }
}

std::optional<std::string> ContactGroups::Ensure(const std::string& name) {
  if (name.empty()) return name;
  if (!read_) ReadStored();
  const auto known = spelled_.find(FoldCase(name));
  if (known != spelled_.end()) return known->second;
  // Outer levels first; each level is spelled as the list spells it.
  std::string spelled;
  for (std::size_t start = 0; start <= name.size();) {
    std::size_t end = name.find(kLevelSeparator, start);
    if (end == std::string::npos) end = name.size();
    if (start > 0) spelled += kLevelSeparator;
    spelled.append(name, start, end - start);
    start = end + 1;
    const std::string foldedLevel = FoldCase(spelled);
    const auto found = spelled_.find(foldedLevel);
    if (found != spelled_.end()) {
      spelled = found->second;
      continue;
    }
    const std::string number = std::to_string(count_);
    if (!WriteSettingText(0, kGroupsModule, number.c_str(),
                          {DBVT_UTF8, std::string(1, kNewGroupFlags) + spelled}))
      return std::nullopt;
    ++count_;
    spelled_.emplace(foldedLevel, spelled);
  }
  return spelled;
}
