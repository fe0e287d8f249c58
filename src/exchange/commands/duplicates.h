// Which records of a file are Kestrin users already stored: the same full
// name (without regard to case, to blanks at either end or to several blanks
// in a row) and the same e-mail address (without regard to case; two empty
// addresses are the same). One walk of the database, then a hash lookup per
// record; each stored Kestrin user is matched by one record at most, so that
// two people of one name in one file stay two.
#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>

#include "records/KestrinUserU.h"

// The key a full name and an address are compared by.
std::string MatchKey(std::string_view fullName, std::string_view email);

class StoredUsers {
 public:
  // Every Kestrin user of the database under the key of its stored name and address.
  void Collect();
  void Add(StoredUser user);
  // A stored Kestrin user of `key` not matched before; null when there is none.
  // The pointer stays valid as long as this object.
  const StoredUser* Take(const std::string& key);
  bool Empty() const { return waiting_.empty(); }

 private:
  std::unordered_multimap<std::string, StoredUser> waiting_;
  std::deque<StoredUser> taken_;  // a deque keeps them where they are
};
