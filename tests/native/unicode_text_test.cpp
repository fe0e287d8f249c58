// The UTF-8 and UTF-16 conversions against byte sequences written out by
// hand: the test host and the code-page stand-in build on them, so they are
// held to known bytes, never to themselves.
#include "host/unicode_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(UnicodeText, ValidUtf8IsToldFromOverlongSurrogateAndCutSequences) {
  struct Case {
    std::string bytes;
    std::size_t validPrefix;
  };
  const Case cases[] = {
      {"plain", 5},
      {"\xC3\xA9", 2},           // U+00E9
      {"\xE2\x82\xAC", 3},       // U+20AC
      {"\xF0\x9F\x98\x80", 4},   // U+1F600
      {"\xF4\x8F\xBF\xBF", 4},   // U+10FFFF, the last character
      {"a\xC0\xAF", 1},          // overlong '/'
      {"a\xE0\x80\xAF", 1},      // overlong '/' in three bytes
      {"a\xED\xA0\x80", 1},      // U+D800, a surrogate
      {"a\xF4\x90\x80\x80", 1},  // above U+10FFFF
      {"ab\xE2\x82", 2},         // cut short
      {"\x80", 0},               // a lone continuation byte
      {"\xC3\xA9\xFF", 2},       // a byte that never appears in UTF-8
  };
  for (const Case& c : cases)
    EXPECT_EQ(ValidUtf8Prefix(c.bytes), c.validPrefix) << ::testing::PrintToString(c.bytes);
  EXPECT_TRUE(BeginsUtf8Sequence("\xE2\x82"));
  EXPECT_FALSE(BeginsUtf8Sequence("\xE2\x82\xAC"));  // already whole
  EXPECT_FALSE(BeginsUtf8Sequence("\xED\xA0"));      // only a surrogate could follow
}

TEST(UnicodeText, CharactersBecomeTheirKnownBytes) {
  struct Case {
    char32_t character;
    std::string bytes;
  };
  const Case cases[] = {{U'A', "A"},
                        {0xE9, "\xC3\xA9"},
                        {0x3A9, "\xCE\xA9"},
                        {0x20AC, "\xE2\x82\xAC"},
                        {0x1F600, "\xF0\x9F\x98\x80"}};
  for (const Case& c : cases) {
    std::string out;
    AppendUtf8(out, c.character);
    EXPECT_EQ(out, c.bytes);
    char32_t read = 0;
    std::size_t length = 0;
    ASSERT_TRUE(ReadUtf8Character(c.bytes + "x", read, length));
    EXPECT_EQ(read, c.character);
    EXPECT_EQ(length, c.bytes.size());
  }
}

TEST(UnicodeText, Utf16ConvertsBothWaysWithReplacementForBrokenUnits) {
  const char16_t wide[] = {u'A', 0xE9, 0xD83D, 0xDE00, 0x20AC};
  std::string out;
  AppendUtf16AsUtf8(wide, 5, out);
  EXPECT_EQ(out, "A\xC3\xA9\xF0\x9F\x98\x80\xE2\x82\xAC");
  EXPECT_EQ(Utf8ToUtf16(out), std::u16string(wide, 5));

  const char16_t lone[] = {0xD800, u'x', 0xDC00};
  out.clear();
  AppendUtf16AsUtf8(lone, 3, out);
  EXPECT_EQ(out, "\xEF\xBF\xBDx\xEF\xBF\xBD");
  EXPECT_EQ(Utf8ToUtf16("a\xC0\xAF"), (std::u16string{u'a', 0xFFFD, 0xFFFD}));
}

TEST(UnicodeText, PrefixCountsCharactersNotBytes) {
  const std::string text = "\xC3\xA9t\xC3\xA9\xF0\x9F\x98\x80";  // é t é 😀
  EXPECT_EQ(Utf8Prefix(text, 0), "");
  EXPECT_EQ(Utf8Prefix(text, 1), "\xC3\xA9");
  EXPECT_EQ(Utf8Prefix(text, 3), "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(Utf8Prefix(text, 4), text);
  EXPECT_EQ(Utf8Prefix(text, 99), text);
  EXPECT_TRUE(IsAscii("plain text 123"));
  EXPECT_FALSE(IsAscii("caf\xC3\xA9"));
}

}  // namespace
