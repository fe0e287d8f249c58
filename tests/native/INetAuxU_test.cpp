#include "records/INetAuxU.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

struct StoredCase {
  std::string entered;
  uint32_t stored;
};

// What the editor stores for a typed address: the parts reversed, then read.
uint32_t StoredFor(const std::string& entered) { return DottedToAddr(ReverseDotted(entered)); }

TEST(DottedAddress, EnteredTextGivesStoredNumber) {
  const StoredCase cases[] = {
      {"192.168.0.1", 0xC0A80001u},
      {"0.0.0.0", 0u},
      {"255.255.255.255", 0xFFFFFFFFu},
      {"1.2.3", 0u},
      {"", 0u},
      {"1.2.3.256", 0u},
      {"1.2.3.-1", 0u},
      {"1.2.3.4.5", 0x02030405u},
      {"x.1.2.3.4", 0x01020304u},
      {"1.2.3.4.", 0x01020304u},
      {".1.2.3.4", 0x01020304u},
      {"1..2.3.4", 0u},
      {" 1.2.3.4", 0x01020304u},
      {"1.2.3.4 ", 0u},
      {"0x10.1.1.1", 0x10010101u},
      {"+1.2.3.4", 0x01020304u},
  };
  for (const StoredCase& c : cases) EXPECT_EQ(StoredFor(c.entered), c.stored) << c.entered;
}

TEST(DottedAddress, StoredNumberIsShownMostSignificantFirst) {
  EXPECT_EQ(ReverseDotted(AddrToDotted(0xC0A80001u)), "192.168.0.1");
  EXPECT_EQ(ReverseDotted(AddrToDotted(0)), "0.0.0.0");
  EXPECT_EQ(ReverseDotted(AddrToDotted(0xFFFFFFFFu)), "255.255.255.255");
}

TEST(DottedAddress, ConversionsPairFirstPartWithLowByte) {
  EXPECT_EQ(AddrToDotted(0x04030201u), "1.2.3.4");
  EXPECT_EQ(AddrToDotted(0xC0A80001u), "1.0.168.192");
  EXPECT_EQ(AddrToDotted(0), "0.0.0.0");
  EXPECT_EQ(DottedToAddr("1.2.3.4"), 0x04030201u);
}

TEST(DottedAddress, ShowingAndStoringRoundTrip) {
  for (uint32_t n : {0u, 1u, 0x7F000001u, 0x80000000u, 0xC0A80001u, 0xFFFFFFFEu, 0xFFFFFFFFu})
    EXPECT_EQ(StoredFor(ReverseDotted(AddrToDotted(n))), n) << n;
}

TEST(DottedAddress, PartsFollowTheIntegerTextRules) {
  struct PartCase {
    std::string part;
    bool accepted;
    uint32_t value;
  };
  const PartCase cases[] = {
      {"7", true, 7},     {"007", true, 7},   {"+7", true, 7},           {"$1F", true, 31},
      {"0x1f", true, 31}, {"X1f", true, 31},  {"-0", true, 0},           {"  7", true, 7},
      {"255", true, 255}, {"$FF", true, 255}, {"7 ", false, 0},          {"-", false, 0},
      {"$", false, 0},    {"0x", false, 0},   {"1e2", false, 0},         {"7a", false, 0},
      {"256", false, 0},  {"-1", false, 0},   {"99999999999", false, 0},
  };
  // The part under test comes last, so it lands in the most significant byte.
  for (const PartCase& c : cases) {
    const uint32_t expected = c.accepted ? 0x00010101u | (c.value << 24) : 0u;
    EXPECT_EQ(DottedToAddr("1.1.1." + c.part), expected) << c.part;
  }
}

TEST(DottedAddress, ReverseKeepsTheWrittenRules) {
  const std::pair<std::string, std::string> cases[] = {
      {"1.2.3.4", "4.3.2.1"},
      {".1.2", "2.1"},
      {"..", ""},
      {"1.2.3.4.", "4.3.2.1"},
      {"1..2", "2..1"},
      {"abc", "abc."},
      {"", ""},
      {"a", "a."},
      {"1.", "1"},
      {".", ""},
      {"a..", ".a"},
      {"..a", "a."},
  };
  for (const auto& [text, reversed] : cases) EXPECT_EQ(ReverseDotted(text), reversed) << text;
}

}  // namespace
