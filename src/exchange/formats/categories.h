// Contact-list groups from address books: the categories one contact carries
// (Google's labels, Outlook's categories, vCard's CATEGORIES), the group the
// first of them gives, and the contact type a category names. Portable: of
// the host it knows only how long a group name the contact list keeps.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The longest group name the contact list keeps, in UTF-16 units.
inline constexpr std::size_t kMaxGroupNameUnits = 126;
// Between the levels of a group inside a group, as the contact list writes them.
inline constexpr char kGroupLevelSeparator = '\\';

// How one field lists its categories.
enum class CategoryList {
  Whole,      // the field is one name (the plug-in's own files)
  Labels,     // separated by " ::: "; those that begin with "* " are the system's (Google)
  Delimited,  // separated by ';' or ',' (Outlook)
};

// A category as a group name: control characters become blanks; '\'
// separates levels, blank levels go and each loses the blanks around it; each
// level and the whole name are cut to kMaxGroupNameUnits, never inside a
// character. Empty when nothing is left.
std::string GroupName(std::string_view category);

// Gathers a contact's group and type from its categories, in their order:
// the group is the first category that gives a group name; the type is
// named by a category (1 to 5, by the English caption in any letter case):
// the first one besides the group, else the group itself. So a contact of
// one type in a group named after another keeps both through an export.
// Work stops once both are found.
class CategoryReader {
 public:
  void Take(std::string_view category, bool systemLabel = false);
  void TakeField(std::string_view field, CategoryList list);

  const std::string& Group() const { return group_; }
  // The type as the number's text; empty when no category names one.
  const std::string& Type() const { return type_.empty() ? groupType_ : type_; }
  // Both found: further categories change nothing.
  bool Done() const { return !group_.empty() && !type_.empty(); }

 private:
  std::string group_;
  std::string groupType_;  // the type the group's own name gives
  std::string type_;       // the type another category gives
};
