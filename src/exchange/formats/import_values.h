// What one line of a CSV file or one vCard gives the import, before the
// import's name rules (full name from first and last name, else from the
// full/display name, else from the nickname) are applied.
#pragma once

#include <string>

struct ImportValues {
  // The values, as bits of `columns`.
  enum Column : unsigned {
    kFirst = 1u << 0,
    kLast = 1u << 1,
    kFullName = 1u << 2,
    kNick = 1u << 3,
    kType = 1u << 4,
    kEmail = 1u << 5,
    kMobile = 1u << 6,
    kWeb = 1u << 7,
    kGroup = 1u << 8,
  };

  std::string first;
  std::string last;
  std::string fullName;  // a display name; only address books give one
  std::string nick;
  std::string type;  // the contact type as text, read as a whole integer
  std::string email;
  std::string mobile;
  std::string web;
  std::string group;  // the contact-list group its address book gives it; empty: none
  // The values the file has a column (or property) for. A value without one
  // is empty, and leaves the stored value alone when a Kestrin user is updated.
  unsigned columns = ~0u;

  bool Has(Column column) const { return (columns & column) != 0; }

  // The values alike; which columns they came from is not compared.
  bool operator==(const ImportValues& other) const {
    return first == other.first && last == other.last && fullName == other.fullName &&
           nick == other.nick && type == other.type && email == other.email &&
           mobile == other.mobile && web == other.web && group == other.group;
  }
};
