// What the tests of the file readers share: the values one line or card
// gives, printed and built.
#pragma once

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "exchange/formats/import_values.h"

inline void PrintTo(const ImportValues& v, std::ostream* out) {
  *out << "{first '" << v.first << "', last '" << v.last << "', full '" << v.fullName << "', nick '"
       << v.nick << "', type '" << v.type << "', mail '" << v.email << "', mobile '" << v.mobile
       << "', web '" << v.web << "', group '" << v.group << "'}";
}

using Cards = std::vector<ImportValues>;

inline ImportValues Values(std::string first, std::string last, std::string fullName,
                           std::string nick, std::string type, std::string email,
                           std::string mobile, std::string web, std::string group = "") {
  ImportValues values;
  values.first = std::move(first);
  values.last = std::move(last);
  values.fullName = std::move(fullName);
  values.nick = std::move(nick);
  values.type = std::move(type);
  values.email = std::move(email);
  values.mobile = std::move(mobile);
  values.web = std::move(web);
  values.group = std::move(group);
  return values;
}
