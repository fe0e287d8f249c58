#include "records/ContactGroups.h"

#include "host/m_globaldefs.h"
#include "host/unicode_text.h"
#include "records/StoredText.h"

namespace {

constexpr const char* kGroupsModule = "CListGroups";
// The flags that "CList/GroupCreate" gives a new group.
constexpr char kNewGroupFlags = '\x05';
constexpr char kLevelSeparator = '\\';

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
