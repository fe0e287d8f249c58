// What one line of a CSV file or one vCard gives the import, before the
// import's name rules (full name from first and last name, else from the
// full/display name, else from the nickname) are applied.
#pragma once

#include <string>

struct ImportValues {
  std::string first;
  std::string last;
  std::string fullName;  // a display name; only address books give one
  std::string nick;
  std::string type;  // the contact type as text, read as a whole integer
  std::string email;
  std::string mobile;
  std::string web;

  bool operator==(const ImportValues& other) const {
    return first == other.first && last == other.last && fullName == other.fullName &&
           nick == other.nick && type == other.type && email == other.email &&
           mobile == other.mobile && web == other.web;
  }
};
