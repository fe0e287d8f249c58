// The plug-in's own exchange file: semicolon-separated lines of Kestrin users.
// Splitting lines into fields, matching the header to the seven columns, and
// rendering the values of one record as a line. Portable: works on memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/text/scan.h"

// The columns in the order export writes them; the position is also the
// default index of the column map.
enum class Column : int { FirstName, LastName, Name, ContactType, Email, Mobile, Homepage };
inline constexpr int kColumnCount = 7;
inline constexpr const char* kColumnTitles[kColumnCount] = {
    "First Name",   "Last Name",        "Name", "Contact Type", "E-mail Address",
    "Mobile Phone", "Personal Web Page"};
inline constexpr const char* kHeaderLine =
    "First Name;Last Name;Name;Contact Type;E-mail Address;Mobile Phone;Personal Web Page";
inline constexpr const char* kLineEnd = "\r\n";
// The column the export adds last, the contact-list group of each Kestrin
// user, when any is in a group: Outlook's title, which the import knows.
inline constexpr const char* kCategoriesTitle = "Categories";

// No field index reaches it, so a bounds test treats it like an index beyond the line.
inline constexpr int32_t kAbsentColumn = 2147483647;

// The values of one record, by column.
struct ColumnValues {
  std::string text[kColumnCount];

  std::string& operator[](Column column) { return text[static_cast<int>(column)]; }
  const std::string& operator[](Column column) const { return text[static_cast<int>(column)]; }
};

// The fields of one line into `fields` (its former content is replaced; its
// storage is reused, so a loop over lines allocates nothing per field); an
// empty line has none. A field that begins with a double quote is quoted: it
// ends at the first quote followed by a semicolon or by the line's end, and
// loses its enclosing quotes; nothing else is changed. A semicolon at the
// line's end gives no empty last field.
void SplitFields(std::string_view line, FieldList& fields);
FieldList SplitFields(std::string_view line);
// The index of the first field equal to `title` (exact, case-sensitive), or kAbsentColumn.
int32_t FindColumn(const FieldList& fields, std::string_view title);

// The text a value takes in the file: as it is when the import reads it back
// unchanged; quoted when it holds a semicolon or begins with a double quote.
// Line breaks and byte 26 become blanks, and a quote directly followed by a
// semicolon inside a quoted value gets a blank between them, since no field
// can carry those: the line's structure always survives.
std::string FieldText(std::string_view value);
// The data line of one record, every value as FieldText writes it, without
// its line end.
std::string RecordLine(const ColumnValues& values);
