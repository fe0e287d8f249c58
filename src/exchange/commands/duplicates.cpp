#include "exchange/commands/duplicates.h"

#include <utility>

#include "host/unicode_text.h"

namespace {

// Trimmed, every run of blanks (code 32 or less) one blank, case folded.
std::string NormalName(std::string_view name) {
  std::string single;
  single.reserve(name.size());
  bool blank = false;
  for (const char c : TrimView(name)) {
    if (static_cast<unsigned char>(c) <= 32) {
      blank = true;
      continue;
    }
    if (blank) single += ' ';
    blank = false;
    single += c;
  }
  return FoldCase(single);
}

}  // namespace

std::string MatchKey(std::string_view fullName, std::string_view email) {
  // A normal name holds no character below 33: the NUL cannot be part of it.
  std::string key = NormalName(fullName);
  key += '\0';
  key += FoldCase(TrimView(email));
  return key;
}

void StoredUsers::Collect() {
  WalkContacts([this](ContactHandle contact, int32_t index, int32_t count) {
    if (index == 0) waiting_.reserve(static_cast<std::size_t>(count));
    if (IsOwnContact(contact)) Add(ReadStoredUser(contact));
    return true;
  });
}

void StoredUsers::Add(StoredUser user) {
  std::string key =
      MatchKey(JoinFullName(user.details.first, user.details.last), user.details.email);
  waiting_.emplace(std::move(key), std::move(user));
}

const StoredUser* StoredUsers::Take(const std::string& key) {
  const auto found = waiting_.find(key);
  if (found == waiting_.end()) return nullptr;
  // Moved aside, so that the next record of the same key finds no one.
  taken_.push_back(std::move(found->second));
  waiting_.erase(found);
  return &taken_.back();
}
