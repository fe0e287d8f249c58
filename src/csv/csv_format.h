// The exchange file: semicolon-separated lines of Kestrin users. Reading lines
// from a byte source, splitting them into fields, matching the header to the
// seven columns, and rendering the values of one record as a line. Portable:
// works on memory and on anything that can hand out bytes in chunks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

// No field index reaches it, so a bounds test treats it like an index beyond the line.
inline constexpr int32_t kAbsentColumn = 2147483647;

// Which field of a data line holds each column; belongs to one import run.
struct ColumnMap {
  int32_t index[kColumnCount] = {0, 1, 2, 3, 4, 5, 6};

  int32_t& operator[](Column column) { return index[static_cast<int>(column)]; }
  int32_t operator[](Column column) const { return index[static_cast<int>(column)]; }
};

// The values of one record, by column.
struct ColumnValues {
  std::string text[kColumnCount];

  std::string& operator[](Column column) { return text[static_cast<int>(column)]; }
  const std::string& operator[](Column column) const { return text[static_cast<int>(column)]; }
};

// Views into the split line: valid as long as the line's text is.
using FieldList = std::vector<std::string_view>;

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
// Maps every column from the header line; false, with `map` unchanged, when
// the line has no fields.
bool ReadHeader(std::string_view line, ColumnMap& map);
// The column's field of a data line, or the empty text when the column is
// absent or the line is shorter.
std::string_view ColumnValue(const FieldList& fields, const ColumnMap& map, Column column);

// The text a value takes in the file: as it is when the import reads it back
// unchanged; quoted when it holds a semicolon or begins with a double quote.
// Line breaks and byte 26 become blanks, and a quote directly followed by a
// semicolon inside a quoted value gets a blank between them, since no field
// can carry those: the line's structure always survives.
std::string FieldText(std::string_view value);
// The data line of one record, every value as FieldText writes it, without
// its line end.
std::string RecordLine(const ColumnValues& values);

// Hands out the bytes of a file, or of anything else, in chunks.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads at most `capacity` bytes into `buffer`; `count` is 0 only at the
  // end. False when the read failed.
  virtual bool Read(char* buffer, std::size_t capacity, std::size_t& count) = 0;
};

// A byte source over memory that the caller keeps alive.
class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
  bool Read(char* buffer, std::size_t capacity, std::size_t& count) override;

 private:
  std::string_view bytes_;
};

// The instruction sets the line reader and the splitter can look at many
// bytes at once with. The best one the processor has is used unless a test
// asks for another; all give the same results.
enum class ScanSet { Plain, Sse2, Avx2 };
ScanSet BestScanSet();
// False, changing nothing, when the processor lacks `set`.
bool UseScanSet(ScanSet set);

// How far a search through a text has come: the window of 64 bytes it
// examined last, and which of that window's bytes it looks for.
struct ScanWindow {
  std::size_t base = static_cast<std::size_t>(-1);  // none yet
  uint64_t hits = 0;
};

// The first line of a file without the UTF-8 byte-order mark that some
// programs put at its start.
std::string_view WithoutByteOrderMark(std::string_view firstLine);

// Splits a byte source into lines: LF or CR LF ends a line, a CR not followed
// by LF is dropped, and byte 26 ends the file (wherever it stands: inside a
// line the line's text ends before it). The last line needs no line end.
// When the first 64 KiB hold CRs and no LF at all, a lone CR ends a line too.
// Holds one chunk, reused for the whole file, and a copy of the current line
// only when that line is not whole in the chunk; a line may not grow beyond
// kMaxLineLength, so memory stays small whatever the file.
class LineReader {
 public:
  static constexpr std::size_t kDefaultChunk = 64 * 1024;
  // Far above any address book; a longer line ends the reading.
  static constexpr std::size_t kMaxLineLength = 1024 * 1024;
  // How much of the start of a file decides whether lone CRs end its lines.
  static constexpr std::size_t kLineEndProbe = 64 * 1024;

  explicit LineReader(ByteSource& source, std::size_t chunkSize = kDefaultChunk);
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // The next line, without its end; false at the end of the file or when a
  // read failed. A line cut short by a failed read is not handed out. The
  // view is valid until the next call.
  bool Next(std::string_view& line);
  bool Failed() const { return failed_; }
  // Whether the reading ended at a line longer than kMaxLineLength.
  bool TooLong() const { return tooLong_; }

 private:
  // Any line: one that the chunk's end cuts, or that byte 26 or a lone CR ends.
  bool NextAcrossChunks(std::string_view& line);
  bool Fill();   // false at the end or on failure
  void Probe();  // reads the start of the file and decides how its lines end
  // Ends the reading when `run` would make the line too long.
  bool TooLongWith(std::string_view run);
  // The line that ends with `run`: the run itself when nothing of the line was copied before it.
  std::string_view Joined(std::string_view run);

  ByteSource& source_;  // not owned
  std::vector<char> chunk_;
  std::string line_;  // the line's text so far, when it spans chunks or lost a CR
  ScanWindow scan_;   // through the chunk, for line controls
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  bool ended_ = false;
  bool failed_ = false;
  bool tooLong_ = false;
  std::string probe_;  // the start of the file, handed out before reading on
  std::size_t probeUsed_ = 0;
  bool probed_ = false;
  bool failedAhead_ = false;  // a read of the probe failed after its bytes
  bool crEndsLines_ = false;  // the probe holds CRs and no LF
};
