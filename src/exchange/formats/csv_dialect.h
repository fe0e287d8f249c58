// The kinds of CSV file the import takes besides its own: the separator that
// the title line sets, the common quoting of comma and tab files (RFC 4180,
// where a quoted value may hold separators, line breaks and doubled quotes),
// and the column titles that other address books write. Portable: works on
// lines from any byte source.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/formats/categories.h"
#include "exchange/formats/csv_format.h"
#include "exchange/formats/import_values.h"
#include "exchange/text/line_reader.h"

inline constexpr char kSemicolon = ';';
inline constexpr char kComma = ',';
inline constexpr char kTab = '\t';

// The line break that a quoted value's line end becomes: the one the
// platform's edit controls show.
inline constexpr std::string_view kValueLineBreak = "\r\n";

// The separator for the whole file: a semicolon when the title line holds
// one, as in the plug-in's own files; otherwise the comma or tab that stands
// between its titles (outside quotes; the more frequent one); a semicolon
// when it holds neither.
char DetectSeparator(std::string_view titleLine);

// Splits a record of a comma or tab file. A value that begins with a double
// quote is quoted: it runs to the next quote that is not doubled, may hold
// separators and line breaks, and a doubled quote in it stands for one; text
// after its closing quote up to the separator is kept. A quote elsewhere is
// an ordinary character. An empty record has no fields; a separator at its
// end gives a last, empty field. The fields view their texts in `storage`.
FieldList SplitQuotedFields(std::string_view record, char separator, std::string& storage);

// Hands out the records of a CSV file one field list at a time. Semicolon
// files are split line by line as always; in comma and tab files a quoted
// value that is still open at a line's end takes the following lines too,
// joined by kValueLineBreak, up to kMaxRecordLines lines.
class RecordReader {
 public:
  static constexpr std::size_t kMaxRecordLines = 1000;
  enum class Result { Record, End, Unclosed };

  RecordReader(LineStream& lines, char separator) : lines_(lines), separator_(separator) {}

  // Record: `fields` holds the next record (none for an empty line), viewing
  // texts that stay valid until the next call. End: the
  // file has no more lines. Unclosed: a quoted value was still open at the
  // end of the file or after kMaxRecordLines lines; `fields` holds what was
  // read, the open value running to its end.
  Result Next(FieldList& fields);

 private:
  LineStream& lines_;  // not owned
  char separator_;
  std::string line_;
  std::string text_;  // the texts of a quoted record's fields
};

// Which field of a line holds each value that the import takes, found from
// the titles of the file's first line.
struct TitleMap {
  enum Value : int { First, Last, FullName, Nick, Type, Email, Mobile, Web, Group, kValueCount };
  int32_t index[kValueCount] = {0, 1, kAbsentColumn, 2, 3, 4, 5, 6, kAbsentColumn};
  // Values that an address book lists several of in one field, separated by
  // " ::: ", of which the first is taken.
  bool firstOfSeveral[kValueCount] = {};
  // How the group column lists a contact's categories.
  CategoryList groupList = CategoryList::Whole;
  // Numbered phone columns, each a kind and a number, in the order of their numbers.
  struct Phone {
    int32_t kind = kAbsentColumn;
    int32_t number = kAbsentColumn;
  };
  std::vector<Phone> phones;
  // Whether any title was known.
  bool recognised = true;
};

// The map of a title line: the plug-in's own titles, matched exactly, win;
// other address books' titles fill what is left, compared without regard to
// case and surrounding blanks. With no fields the default map (the export's
// column order) stays in force. `separator` is the file's: a semicolon file's
// "Categories" holds the one group the plug-in's export wrote, taken whole.
TitleMap ReadTitles(const FieldList& titles, char separator);

// A file's first line as the import reads it: its separator (DetectSeparator,
// after a UTF-8 byte-order mark, which is no part of it) and its map.
struct TitleLine {
  char separator;
  TitleMap map;
};
TitleLine ReadTitleLine(std::string_view line);
// The values of one record under `map`; absent columns give empty texts. The
// group column's categories give the group, and the contact type too when
// the file has no column for the type. Absent columns are left out of the
// record's columns.
ImportValues TakeValues(const FieldList& fields, const TitleMap& map);
