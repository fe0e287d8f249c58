// What one Kestrin user holds, as the editor, the import and the export carry
// it, and the contact types it can have. Portable: knows nothing of the host.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "host/text_mark.h"

// The trim rule, wherever a text is trimmed: every leading and trailing
// character of code 32 or less goes.
inline std::string_view TrimView(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= 32) text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= 32) text.remove_suffix(1);
  return text;
}

// Contact types as stored in the contact's type setting; the captions are the items of the
// editor's list, in this order.
inline constexpr const char* kContactTypeCaptions[] = {
    N_("Unspecified"), N_("Family"), N_("Friends"), N_("Business"), N_("VIP"), N_("Other")};
inline constexpr int kContactTypeCount = 6;

struct ContactDetails {
  std::string nick;
  std::string first;
  std::string last;
  int32_t contactType = 0;
  std::string email;
  std::string homepage;
  std::string mobile;
  uint32_t address = 0;
  // The contact-list group, '\' between its levels; empty: none. Only the
  // exchange carries it: the editor leaves it as it is.
  std::string group = {};
};
