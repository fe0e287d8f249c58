#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "plugin/menus.h"

namespace {

TEST(StripFirstAmpersand, RemovesOnlyTheFirstAmpersand) {
  const std::pair<std::string, std::string> cases[] = {
      {"&Add Kestrin User", "Add Kestrin User"},
      {"&Edit Kestrin User", "Edit Kestrin User"},
      {"&Kestrin Users", "Kestrin Users"},
      {"Save && Close", "Save & Close"},
      {"A&b&c", "Ab&c"},
      {"No ampersand", "No ampersand"},
      {"&", ""},
      {"", ""},
      {"Trailing&", "Trailing"},
  };
  for (const auto& [text, stripped] : cases) EXPECT_EQ(StripFirstAmpersand(text), stripped) << text;
}

}  // namespace
