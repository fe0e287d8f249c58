// Address books besides the plug-in's own files: separators, the quoting of
// comma and tab files, other address books' column titles, and vCard files
// read and written. The sample files are written by hand after the formats'
// public descriptions.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "csv/csv_dialect.h"
#include "csv/vcard.h"

void PrintTo(const ImportValues& v, std::ostream* out) {
  *out << "{first '" << v.first << "', last '" << v.last << "', full '" << v.fullName << "', nick '"
       << v.nick << "', type '" << v.type << "', mail '" << v.email << "', mobile '" << v.mobile
       << "', web '" << v.web << "'}";
}

namespace {

using Fields = std::vector<std::string>;
using Cards = std::vector<ImportValues>;

// Reads `text` as the import does a CSV file: the separator and the titles
// from the first line, then one set of values per record that has fields.
Cards ReadCsv(const std::string& text, bool* recognised = nullptr) {
  MemorySource source(text);
  LineReader reader(source, 7);  // small chunks cross every boundary
  LineStream lines(reader);
  std::string title;
  Cards read;
  if (!lines.Next(title)) return read;
  const char separator = DetectSeparator(title);
  const TitleMap map = ReadTitles(separator == kSemicolon ? SplitFields(title)
                                                          : SplitQuotedFields(title, separator));
  if (recognised != nullptr) *recognised = map.recognised;
  RecordReader records(lines, separator);
  FieldList fields;
  while (records.Next(fields) == RecordReader::Result::Record)
    if (!fields.empty()) read.push_back(TakeValues(fields, map));
  return read;
}

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

ImportValues Values(std::string first, std::string last, std::string fullName, std::string nick,
                    std::string type, std::string email, std::string mobile, std::string web) {
  return {std::move(first), std::move(last),  std::move(fullName), std::move(nick),
          std::move(type),  std::move(email), std::move(mobile),   std::move(web)};
}

TEST(AddressBookSeparator, ComesFromTheTitleLine) {
  EXPECT_EQ(DetectSeparator("First Name;Last Name"), ';');
  EXPECT_EQ(DetectSeparator("First Name,Last Name;Name"), ';');  // a semicolon decides
  EXPECT_EQ(DetectSeparator("First Name,Last Name"), ',');
  EXPECT_EQ(DetectSeparator("First Name\tLast Name"), '\t');
  EXPECT_EQ(DetectSeparator("\"Name, full\"\tE-mail\tWeb"), '\t');
  EXPECT_EQ(DetectSeparator("Name"), ';');
  EXPECT_EQ(DetectSeparator(""), ';');
}

TEST(AddressBookQuoting, SplitsCommaAndTabRecords) {
  const struct {
    std::string record;
    char separator;
    Fields fields;
  } cases[] = {
      {"", ',', {}},
      {"a,b,c", ',', {"a", "b", "c"}},
      {"a,b,", ',', {"a", "b", ""}},
      {",", ',', {"", ""}},
      {"\"a,b\",c", ',', {"a,b", "c"}},
      {"\"a\"\"b\",c", ',', {"a\"b", "c"}},
      {"\"\"\"\"", ',', {"\""}},
      {"\"\",x", ',', {"", "x"}},
      {"a\"b,c", ',', {"a\"b", "c"}},
      {"\"ab\"c,d", ',', {"abc", "d"}},
      {"\"abc", ',', {"abc"}},
      {"\"line\r\nbreak\",x", ',', {"line\r\nbreak", "x"}},
      {"a;b,c", ',', {"a;b", "c"}},
      {"a\t\"b\tc\"\td,e", '\t', {"a", "b\tc", "d,e"}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(SplitQuotedFields(c.record, c.separator), c.fields) << c.record;

  for (const std::string value : {"", "plain", "a,b", "say \"hi\"", "two\r\nlines", "\"", ","})
    EXPECT_EQ(SplitQuotedFields(QuoteField(value, ',') + ",end", ','), (Fields{value, "end"}))
        << value;
}

TEST(AddressBookQuoting, AQuotedValueSpansLinesUpToABound) {
  std::string text = "a,\"first\n\nthird, still\",b\r\nnext,line\n\"open";
  MemorySource source(text);
  LineReader reader(source, 3);
  LineStream lines(reader);
  RecordReader records(lines, ',');
  FieldList fields;
  ASSERT_EQ(records.Next(fields), RecordReader::Result::Record);
  EXPECT_EQ(fields, (Fields{"a", "first\r\n\r\nthird, still", "b"}));
  ASSERT_EQ(records.Next(fields), RecordReader::Result::Record);
  EXPECT_EQ(fields, (Fields{"next", "line"}));
  EXPECT_EQ(records.Next(fields), RecordReader::Result::Unclosed);
  EXPECT_EQ(fields, (Fields{"open"}));
  EXPECT_EQ(records.Next(fields), RecordReader::Result::End);

  std::string endless = "\"x";
  for (std::size_t i = 0; i < RecordReader::kMaxRecordLines + 5; ++i) endless += "\ny";
  MemorySource endlessSource(endless);
  LineReader endlessReader(endlessSource);
  LineStream endlessLines(endlessReader);
  RecordReader bounded(endlessLines, ',');
  EXPECT_EQ(bounded.Next(fields), RecordReader::Result::Unclosed);
  EXPECT_EQ(endlessLines.LinesRead(), RecordReader::kMaxRecordLines);
}

TEST(AddressBookQuoting, SemicolonFilesKeepTheirOwnRules) {
  MemorySource source("\"a\"\"b\";\"c\n\"d;e");
  LineReader reader(source);
  LineStream lines(reader);
  RecordReader records(lines, ';');
  FieldList fields;
  ASSERT_EQ(records.Next(fields), RecordReader::Result::Record);
  EXPECT_EQ(fields, SplitFields("\"a\"\"b\";\"c"));
  ASSERT_EQ(records.Next(fields), RecordReader::Result::Record);
  EXPECT_EQ(fields, SplitFields("\"d;e"));
  EXPECT_EQ(records.Next(fields), RecordReader::Result::End);
}

TEST(AddressBookTitles, ReadsTheCommonExports) {
  // Google Contacts, older layout: several values in one field, phones by kind.
  EXPECT_EQ(
      ReadCsv("Name,Given Name,Family Name,Nickname,Group Membership,E-mail 1 - Type,"
              "E-mail 1 - Value,Phone 1 - Type,Phone 1 - Value,Phone 2 - Type,"
              "Phone 2 - Value,Website 1 - Type,Website 1 - Value\r\n"
              "Ann Lee,Ann,Lee,Annie,* myContacts,* Home,ann@example.org ::: a@example.net,"
              "Home,+1 555 0100,Mobile,+1 555 0199 ::: +1 555 0198,Blog,http://ann.example\r\n"
              "Bo Ek,Bo,Ek,,,,,Work,+46 8 123,,,,\r\n"),
      (Cards{Values("Ann", "Lee", "", "Ann Lee", "", "ann@example.org", "+1 555 0199",
                    "http://ann.example"),
             Values("Bo", "Ek", "", "Bo Ek", "", "", "+46 8 123", "")}));
  // Google Contacts, newer layout, with a UTF-8 byte-order mark.
  EXPECT_EQ(ReadCsv("\xEF\xBB\xBF"
                    "First Name,Middle Name,Last Name,Nickname,E-mail 1 - Label,E-mail 1 - Value,"
                    "Phone 1 - Label,Phone 1 - Value\n"
                    "Cara,,Diaz,Cee,* Home,cara@example.org,Mobile,0170 1234\n"),
            (Cards{Values("Cara", "Diaz", "", "Cee", "", "cara@example.org", "0170 1234", "")}));
  // Thunderbird.
  EXPECT_EQ(ReadCsv("First Name,Last Name,Display Name,Nickname,Primary Email,Secondary Email,"
                    "Work Phone,Mobile Number,Web Page 1,Web Page 2\r\n"
                    ",,\"Dee, the Great\",,dee@example.org,,555,0171 99,http://dee.example,\r\n"),
            (Cards{Values("", "", "Dee, the Great", "", "", "dee@example.org", "0171 99",
                          "http://dee.example")}));
  // Outlook, with a note over two lines.
  EXPECT_EQ(
      ReadCsv("\"First Name\",\"Middle Name\",\"Last Name\",\"E-mail Address\","
              "\"Mobile Phone\",\"Web Page\",\"Notes\"\r\n"
              "\"Eve\",\"\",\"Fox\",\"eve@example.org\",\"+44 7700 900\",\"eve.example\","
              "\"Met at the\r\nfair\"\r\n"),
      (Cards{Values("Eve", "Fox", "", "", "", "eve@example.org", "+44 7700 900", "eve.example")}));
  // A spreadsheet's tab file, titles in other letter case and with blanks.
  EXPECT_EQ(ReadCsv(" FIRST NAME \tlast name\tnickname\tcontact type\n"
                    "Gus\tHo\tG\t2\n"),
            (Cards{Values("Gus", "Ho", "", "G", "2", "", "", "")}));
}

TEST(AddressBookTitles, OwnTitlesWinAndUnknownTitlesAreTold) {
  // The own, exact title beats a foreign one for the same value, wherever it stands.
  EXPECT_EQ(ReadCsv("Nickname;Primary Email;Name;E-mail Address\nnick;p@x;Name;own@x\n"),
            (Cards{Values("", "", "", "Name", "", "own@x", "", "")}));
  // An own title written exactly beats the same title in other letter case before it.
  EXPECT_EQ(ReadCsv("name;Name\nfirst;second\n"),
            (Cards{Values("", "", "", "second", "", "", "", "")}));

  bool recognised = true;
  EXPECT_EQ(ReadCsv("John;Smith;j@example.org\nJane;Doe;d@example.org\n", &recognised).size(), 1u);
  EXPECT_FALSE(recognised);
  ReadCsv("Whatever,Phone 1 - Value\n", &recognised);
  EXPECT_TRUE(recognised);
  // A first line without fields keeps the export's column order.
  EXPECT_EQ(ReadCsv("\nA;B;Nick;1;m@x;0170;w\n", &recognised),
            (Cards{Values("A", "B", "", "Nick", "1", "m@x", "0170", "w")}));
  EXPECT_TRUE(recognised);
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
                          "kim@example.org", "+1 555 2", ""),
                   Values("", "", "Lu Mei", "", "4", "", "+86-10-1234", "https://lu.example/a,b;c"),
                   Values("Off", "Cut", "", "", "", "", "", "")}));
  // A card that lacks its END ends where the next one begins; the first number without CELL.
  EXPECT_EQ(
      ReadCards("BEGIN:VCARD\nFN:A\nTEL:1\nTEL;TYPE=HOME:2\nBEGIN:VCARD\nFN:B\nEND:VCARD\n"),
      (Cards{Values("", "", "A", "", "", "", "1", ""), Values("", "", "B", "", "", "", "", "")}));
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
  VCardContact contact;
  contact.first = "Zo\xC3\xAB";
  contact.last = "Smith; Jones";
  contact.nick = "Z, the \\ one\r\nsecond line";
  contact.email = "zoe@example.org";
  contact.mobile = "+44 7700 900123";
  contact.web = "http://example.org/?a=1;b=2,3";
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

  VCardContact plain;
  plain.nick = "Solo";
  plain.contactType = -1;  // no name, no CATEGORIES
  EXPECT_EQ(WriteVCard(plain),
            "BEGIN:VCARD\r\nVERSION:3.0\r\nN:;;;;\r\nFN:Solo\r\n"
            "NICKNAME:Solo\r\nEND:VCARD\r\n");

  // 73 ASCII octets and then two-octet letters: no line is longer than 75
  // octets and no fold cuts a letter in two.
  VCardContact longName;
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
  std::string file;
  std::vector<ImportValues> expected;
  for (std::size_t i = 0; i < 60; ++i) {
    VCardContact user;
    user.first = texts[(i + 1) % texts.size()];
    user.last = texts[(i * 3 + 2) % texts.size()];
    user.nick = texts[(i * 5) % texts.size()];
    user.email = texts[(i * 7) % texts.size()];
    user.mobile = texts[(i * 2 + 1) % texts.size()];
    user.web = texts[(i * 11 + 4) % texts.size()];
    user.contactType = static_cast<int32_t>(i % 6);
    file += WriteVCard(user);
    std::string fullName = user.first;
    if (!user.last.empty()) fullName += (fullName.empty() ? "" : " ") + user.last;
    expected.push_back(Values(user.first, user.last, fullName.empty() ? user.nick : fullName,
                              user.nick, i % 6 == 0 ? "" : std::to_string(i % 6), user.email,
                              user.mobile, user.web));
  }
  EXPECT_EQ(ReadCards(file), expected);
}

}  // namespace
