// The contact list's groups, as one import meets them. The list keeps them as
// module-level settings "CListGroups"/"0", "1", ... without gaps, each a flag
// byte and the group's whole name ('\' between levels); it does not show a
// contact whose group is missing, so a group is made before the first
// contact names it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

class ContactGroups {
 public:
  // The name of group `name` as the list spells it, the group made first
  // when it is missing, outer levels before inner ones. A name that differs
  // from a group only in letter case is that group. std::nullopt when the
  // host did not store a new group. The list's groups are read at the first
  // call, and each new one is written once: writing the settings directly,
  // as the host's own import does, costs the list less than asking it to
  // make a group, and never opens its rename editor.
  std::optional<std::string> Ensure(const std::string& name);

 private:
  void ReadStored();

  bool read_ = false;
  uint32_t count_ = 0;
  // Case-folded name to the name as the list spells it.
  std::unordered_map<std::string, std::string> spelled_;
};
