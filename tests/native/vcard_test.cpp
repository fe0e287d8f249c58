// vCard files read and written. The sample cards are written by hand after
// the format's public descriptions.
#include "exchange/formats/vcard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "import_values_support.h"

namespace {

Cards ReadCards(const std::string& text) {
  MemorySource source(text);
  LineReader reader(source, 5);
  LineStream lines(reader);
  EXPECT_TRUE(IsVCardFile(lines));
  VCardReader cards(lines);
  Cards read;
  ImportValues card;
  while (cards.Next(card)) read.push_back(card);
  return read;
}

TEST(VCardRead, ReadsVersion21) {
  EXPECT_EQ(
      ReadCards("BEGIN:VCARD\r\n"
                "VERSION:2.1\r\n"
                "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:M=C3=BCller;J=C3=BCrgen;;;\r\n"
                "FN;CHARSET=ISO-8859-1;QUOTED-PRINTABLE:J=FCrgen M=FCller, a very long name th=\r\n"
                "at goes on\r\n"
                "TEL;HOME;VOICE:+49 30 1\r\n"
                "TEL;CELL:+49 171 2\r\n"
                "EMAIL;INTERNET:j@example.de\r\n"
                "NOTE;ENCODING=QUOTED-PRINTABLE:two=0D=0Alines=\r\n"
                "=3D\r\n"
                "AGENT:\r\n"
                "BEGIN:VCARD\r\n"
                "VERSION:2.1\r\n"
                "N:Agent;Secret\r\n"
                "EMAIL:agent@example.org\r\n"
                "END:VCARD\r\n"
                "URL:http://example.de\r\n"
                "END:VCARD\r\n"),
      (Cards{Values("J\xC3\xBCrgen", "M\xC3\xBCller",
                    "J\xC3\xBCrgen M\xC3\xBCller, a very long name that goes on", "", "",
                    "j@example.de", "+49 171 2", "http://example.de")}));
}

TEST(VCardRead, ReadsVersions30And40) {
  EXPECT_EQ(ReadCards("\r\n  \r\n"
                      "begin:vcard\n"
                      "version:3.0\n"
                      "n:O\\'Neil\\, Jr.;Kim\\;Lee;;;\n"
                      "fn:Kim O'Neil\n"
                      "nickname:Kimmy\\, K,KK\n"
                      "item1.EMAIL;type=INTERNET;type=pref:kim@ex\n"
                      " ample.org\n"
                      "item2.EMAIL:second@example.org\n"
                      "TEL;TYPE=work,voice:+1 555 1\n"
                      "TEL;TYPE=cell,voice:+1 555 2\n"
                      "NOTE:first\\nsecond\\\\third\n"
                      "CATEGORIES:Colleagues,friends\n"
                      "END:VCARD\n"
                      "BEGIN:VCARD\n"
                      "VERSION:4.0\n"
                      "FN:Lu Mei\n"
                      "TEL;VALUE=uri;TYPE=\"voice,cell\":tel:+86-10-1234\n"
                      "URL:https://lu.example/a,b;c\n"
                      "CATEGORIES:VIP\n"
                      "END:VCARD\n"
                      "BEGIN:VCARD\n"
                      "N:Cut;Off\n"),
            (Cards{Values("Kim;Lee", "O\\'Neil, Jr.", "Kim O'Neil", "Kimmy, K", "2",
                          "kim@example.org", "+1 555 2", "", "Colleagues"),
                   Values("", "", "Lu Mei", "", "4", "", "+86-10-1234", "https://lu.example/a,b;c",
                          "VIP"),
                   Values("Off", "Cut", "", "", "", "", "", "")}));
  // A card that lacks its END ends where the next one begins; the first number without CELL.
  EXPECT_EQ(
      ReadCards("BEGIN:VCARD\nFN:A\nTEL:1\nTEL;TYPE=HOME:2\nBEGIN:VCARD\nFN:B\nEND:VCARD\n"),
      (Cards{Values("", "", "A", "", "", "", "1", ""), Values("", "", "B", "", "", "", "", "")}));
}

TEST(VCardRead, CategoriesGiveTheGroupAndTheType) {
  const Cards cards = ReadCards(
      "BEGIN:VCARD\nFN:A\nCATEGORIES: ,Chess\\, club\\\\Kids,family\nCATEGORIES:VIP\nEND:VCARD\n"
      "BEGIN:VCARD\nFN:B\nEND:VCARD\n");
  ASSERT_EQ(cards.size(), 2u);
  EXPECT_EQ(cards[0].group, "Chess, club\\Kids");
  EXPECT_EQ(cards[0].type, "1");
  EXPECT_TRUE(cards[0].Has(ImportValues::kGroup) && cards[0].Has(ImportValues::kType));
  // Without CATEGORIES a card says nothing of either: an update leaves them.
  EXPECT_FALSE(cards[1].Has(ImportValues::kGroup) || cards[1].Has(ImportValues::kType));
  EXPECT_TRUE(cards[1].Has(ImportValues::kEmail));
}

TEST(VCardRead, OnlyAFileThatBeginsWithACardIsOne) {
  for (const std::string text :
       {"First Name;Last Name\nBEGIN:VCARD\n", "", "\n \n", "BEGIN:VCARDS"}) {
    MemorySource source(text);
    LineReader reader(source);
    LineStream lines(reader);
    EXPECT_FALSE(IsVCardFile(lines)) << text;
    std::string first;
    EXPECT_EQ(lines.Next(first), !text.empty());  // nothing was taken
  }
}

TEST(VCardWrite, WritesVersion30FoldedAndEscaped) {
  ContactDetails contact;
  contact.first = "Zo\xC3\xAB";
  contact.last = "Smith; Jones";
  contact.nick = "Z, the \\ one\r\nsecond line";
  contact.email = "zoe@example.org";
  contact.mobile = "+44 7700 900123";
  contact.homepage = "http://example.org/?a=1;b=2,3";
  contact.contactType = 3;
  EXPECT_EQ(WriteVCard(contact),
            "BEGIN:VCARD\r\nVERSION:3.0\r\n"
            "N:Smith\\; Jones;Zo\xC3\xAB;;;\r\n"
            "FN:Zo\xC3\xAB Smith\\; Jones\r\n"
            "NICKNAME:Z\\, the \\\\ one\\nsecond line\r\n"
            "EMAIL;TYPE=INTERNET:zoe@example.org\r\n"
            "TEL;TYPE=CELL:+44 7700 900123\r\n"
            "URL:http://example.org/?a=1;b=2,3\r\n"
            "CATEGORIES:Business\r\n"
            "END:VCARD\r\n");

  ContactDetails plain;
  plain.nick = "Solo";
  plain.contactType = -1;  // no name, no CATEGORIES
  EXPECT_EQ(WriteVCard(plain),
            "BEGIN:VCARD\r\nVERSION:3.0\r\nN:;;;;\r\nFN:Solo\r\n"
            "NICKNAME:Solo\r\nEND:VCARD\r\n");

  // 73 ASCII octets and then two-octet letters: no line is longer than 75
  // octets and no fold cuts a letter in two.
  ContactDetails longName;
  longName.first = std::string(70, 'a');
  for (int i = 0; i < 60; ++i) longName.first += "\xC3\xA4";
  const std::string card = WriteVCard(longName);
  std::size_t start = 0;
  while (start < card.size()) {
    const std::size_t end = card.find("\r\n", start);
    ASSERT_NE(end, std::string::npos);
    EXPECT_LE(end - start, 75u);
    if (end + 2 < card.size()) {
      EXPECT_NE(static_cast<unsigned char>(card[end + 2]) & 0xC0, 0x80);
    }
    start = end + 2;
  }
  EXPECT_EQ(ReadCards(card),
            (Cards{Values(longName.first, "", longName.first, "", "", "", "", "")}));
}

TEST(VCardWrite, WrittenUsersReadBackIdentical) {
  const std::vector<std::string> texts = {"",
                                          "Ann",
                                          "\xCE\x91\xCE\xBB\xCE\xAD\xCE\xBE\xCE\xB7\xCF\x82",
                                          "\xE7\x8E\x8B\xE5\xB0\x8F",
                                          "a,b",
                                          "a;b",
                                          "back\\slash\\n",
                                          "two\r\nlines",
                                          "\xF0\x9F\x98\x80 smile",
                                          " lead",
                                          std::string(200, 'x') + "\xC3\xA9"};
  const std::vector<std::string> groups = {
      "", "Chess club", "a,b; c", "Home\\Kids", "\xCE\x91\xCE\xBB", "friends", "Family"};
  std::string file;
  std::vector<ImportValues> expected;
  for (std::size_t i = 0; i < 61; ++i) {
    ContactDetails user;
    user.first = texts[(i + 1) % texts.size()];
    user.last = texts[(i * 3 + 2) % texts.size()];
    user.nick = texts[(i * 5) % texts.size()];
    user.email = texts[(i * 7) % texts.size()];
    user.mobile = texts[(i * 2 + 1) % texts.size()];
    user.homepage = texts[(i * 11 + 4) % texts.size()];
    user.contactType = static_cast<int32_t>(i % 6);
    user.group = groups[i % groups.size()];
    file += WriteVCard(user);
    std::string fullName = user.first;
    if (!user.last.empty()) fullName += (fullName.empty() ? "" : " ") + user.last;
    // A type's name stands for a missing group, and a group named after a
    // type for an unspecified type.
    std::string type = i % 6 == 0 ? "" : std::to_string(i % 6);
    if (type.empty() && user.group == "friends") type = "2";
    if (type.empty() && user.group == "Family") type = "1";
    expected.push_back(
        Values(user.first, user.last, fullName.empty() ? user.nick : fullName, user.nick, type,
               user.email, user.mobile, user.homepage,
               user.group.empty() && i % 6 != 0 ? kContactTypeCaptions[i % 6] : user.group));
  }
  EXPECT_EQ(ReadCards(file), expected);
}

}  // namespace
