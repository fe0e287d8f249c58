// The kinds of CSV file besides the plug-in's own: separators, the quoting of
// comma and tab files, and other address books' column titles. The sample
// files are written by hand after the formats' public descriptions.
#include "exchange/formats/csv_dialect.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "import_values_support.h"
#include "native/csv_writing.h"

namespace {

using Fields = std::vector<std::string_view>;

// Reads `text` as the import does a CSV file: the separator and the titles
// from the first line, then one set of values per record that has fields.
Cards ReadCsv(const std::string& text, bool* recognised = nullptr) {
  MemorySource source(text);
  LineReader reader(source, 7);  // small chunks cross every boundary
  LineStream lines(reader);
  std::string title;
  Cards read;
  if (!lines.Next(title)) return read;
  const TitleLine titles = ReadTitleLine(title);
  if (recognised != nullptr) *recognised = titles.map.recognised;
  RecordReader records(lines, titles.separator);
  FieldList fields;
  while (records.Next(fields) == RecordReader::Result::Record)
    if (!fields.empty()) read.push_back(TakeValues(fields, titles.map));
  return read;
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
  std::string storage;
  for (const auto& c : cases)
    EXPECT_EQ(SplitQuotedFields(c.record, c.separator, storage), c.fields) << c.record;

  for (const std::string value : {"", "plain", "a,b", "say \"hi\"", "two\r\nlines", "\"", ","})
    EXPECT_EQ(SplitQuotedFields(QuoteField(value, ',') + ",end", ',', storage),
              (Fields{value, "end"}))
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

TEST(AddressBookCategories, GiveTheGroupAndTheTypeWhereNoColumnDoes) {
  auto groupAndType = [](const std::string& text) {
    const Cards cards = ReadCsv(text);
    return cards.size() != 1 ? "?" : cards[0].group + "|" + cards[0].type;
  };
  // Google, both layouts: " ::: " between labels; the system's labels are no groups.
  EXPECT_EQ(groupAndType("Name,Labels\nA,* myContacts ::: * starred ::: Chess club ::: friends\n"),
            "Chess club|2");
  EXPECT_EQ(groupAndType("Name,Group Membership\nA,* myContacts :::  \n"), "|");
  // Outlook: ';' or ',' between categories; blank ones give nothing.
  EXPECT_EQ(groupAndType("Name,Categories\nA,\" ;VIP, Work\"\n"), "VIP|4");
  EXPECT_EQ(groupAndType("Name\tCategories\nA\tWork,Business\n"), "Work|3");
  // The own files: one group, whole; the type's own column decides the type.
  EXPECT_EQ(groupAndType("Name;Contact Type;Categories\nA;5;\"Home\\Kids, Family; x\"\n"),
            "Home\\Kids, Family; x|5");
  // Whether the file has a group column at all.
  EXPECT_FALSE(ReadCsv("Name\nA\n")[0].Has(ImportValues::kGroup));
  EXPECT_TRUE(ReadCsv("Name,Labels\nA\n")[0].Has(ImportValues::kGroup));
}

TEST(GroupNames, AreCleanedLevelledAndCutBetweenCharacters) {
  EXPECT_EQ(GroupName("  Chess\tclub\x01 "), "Chess club");
  EXPECT_EQ(GroupName("\\ Home \\\\ \x7F\\Kids\\"), "Home\\Kids");
  EXPECT_EQ(GroupName(" \x7F\\ "), "");
  // 126 UTF-16 units: a character outside the plane takes two and is never split.
  const std::string smile = "\xF0\x9F\x98\x80";
  std::string smiles;
  for (int i = 0; i < 70; ++i) smiles += smile;
  EXPECT_EQ(GroupName(smiles), smiles.substr(0, 63 * smile.size()));
  EXPECT_EQ(GroupName(std::string(125, 'a') + smile), std::string(125, 'a'));
  EXPECT_EQ(GroupName(std::string(125, 'a') + "\\b"), std::string(125, 'a'));
  EXPECT_EQ(GroupName("A\\" + std::string(10000, 'b')), "A\\" + std::string(124, 'b'));
  EXPECT_EQ(GroupName(std::string(10000, '\\') + "x"), "x");
}

}  // namespace
