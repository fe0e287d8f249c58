// The exchange file's format: splitting, header matching, column values,
// rendering a contact, and reading lines from chunked sources.
#include "exchange/formats/csv_format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exchange/commands/export_command.h"
#include "exchange/commands/import_command.h"
#include "exchange/commands/import_loop.h"
#include "exchange/text/text_decoding.h"
#include "plugin/mKestrinUser.h"
#include "testhost/native_shell.h"
#include "testhost/test_host.h"
#include "testhost/text_encodings.h"

namespace {

using Fields = std::vector<std::string>;

// The fields as texts of their own, to compare with expected ones.
Fields Split(std::string_view line) {
  const FieldList views = SplitFields(line);
  return Fields(views.begin(), views.end());
}

struct SplitCase {
  std::string line;
  Fields fields;
};

TEST(CsvSplit, FollowsTheFieldRules) {
  const SplitCase cases[] = {
      {"", {}},
      {"a;b;c", {"a", "b", "c"}},
      {"a;;b", {"a", "", "b"}},
      {";a", {"", "a"}},
      {"a;b;", {"a", "b"}},
      {";", {""}},
      {";;", {"", ""}},
      {"a ; b", {"a ", " b"}},
      {"\"a;b\";c", {"a;b", "c"}},
      {"\"a\";\"b\";", {"a", "b"}},
      {"\"a\"\"b\";c", {"a\"\"b", "c"}},
      {"\"\";x", {"", "x"}},
      {"\"\"", {""}},
      {"a\"b;c", {"a\"b", "c"}},
      {"\"ab\"c;d", {"ab\"c;d"}},
      {"\"abc", {"abc"}},
      {"x;\"y", {"x", "y"}},
      {"x;\"", {"x", ""}},
      {"   ", {"   "}},
      {"\"a\"", {"a"}},
      {"\"a\";", {"a"}},
      {"\"a\"x\";b", {"a\"x", "b"}},
  };
  for (const SplitCase& c : cases) EXPECT_EQ(Split(c.line), c.fields) << "line: " << c.line;
}

struct FieldTextCase {
  std::string value;
  std::string text;
};

TEST(CsvFieldText, QuotesOnlyWhatWouldNotReadBack) {
  const FieldTextCase cases[] = {
      {"", ""},
      {"John Smith", "John Smith"},
      {" padded ", " padded "},
      {"a\"b", "a\"b"},
      {"a\"", "a\""},
      {"\xE4\xF6\xFC", "\xE4\xF6\xFC"},
      {"a;b", "\"a;b\""},
      {";", "\";\""},
      {"\"quoted\"", "\"\"quoted\"\""},
      {"\"", "\"\"\""},
      {"x;y\"", "\"x;y\"\""},
      // No field can carry these: they are bent so that the line survives.
      {"line\r\nbreak", "line  break"},
      {"\032eof", " eof"},
      {"a\";b", "\"a\" ;b\""},
      {"\";\";", "\"\" ;\" ;\""},
  };
  for (const FieldTextCase& c : cases) EXPECT_EQ(FieldText(c.value), c.text) << c.value;
}

class CsvRecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host.Reset();
    testhost::ResetNativeShell();
    ASSERT_EQ(Load(host.Link()), 0);
  }
  void TearDown() override { Unload(); }

  testhost::TestHost& host = testhost::TestHost::Instance();
};

TEST_F(CsvRecordTest, RendersTheSevenColumnsInOrder) {
  const ContactHandle full = host.AddKestrinContact();
  host.SetString(full, "mKestrinUser", "FirstName", "John");
  host.SetString(full, "mKestrinUser", "LastName", "Smith");
  host.SetString(full, "mKestrinUser", "Nick", "Johnny");
  host.SetDword(full, "mKestrinUser", "ContactType", 2);
  host.SetString(full, "mKestrinUser", "e-mail", "john@example.com");
  host.SetString(full, "mKestrinUser", "Cellular", "0171 555 SMS");
  host.SetString(full, "mKestrinUser", "AlternativeCellular", "0171 555");
  host.SetString(full, "mKestrinUser", "Homepage", "http://example.com/~john");
  EXPECT_EQ(ExportRecord(full),
            "John;Smith;Johnny;2;john@example.com;0171 555;http://example.com/~john");

  const ContactHandle typeOnly = host.AddKestrinContact();
  host.SetDword(typeOnly, "mKestrinUser", "ContactType", 3);
  EXPECT_EQ(ExportRecord(typeOnly), ";;;3;;;");
  EXPECT_EQ(ExportRecord(host.AddKestrinContact()), ";;;0;;;");

  const ContactHandle noType = host.AddKestrinContact();
  host.SetDword(noType, "mKestrinUser", "ContactType", 4294967295u);
  EXPECT_EQ(ExportRecord(noType), ";;;-1;;;");
  host.SetWord(noType, "mKestrinUser", "ContactType", 5);  // another width reads as its number
  EXPECT_EQ(ExportRecord(noType), ";;;5;;;");

  const ContactHandle awkward = host.AddKestrinContact();
  host.SetString(awkward, "mKestrinUser", "FirstName", "a;b");
  host.SetString(awkward, "mKestrinUser", "Nick", "\"Q\"");
  host.SetString(awkward, "mKestrinUser", "Homepage", "two\nlines");
  const std::string line = ExportRecord(awkward);
  EXPECT_EQ(line, "\"a;b\";;\"\"Q\"\";0;;;two lines");
  EXPECT_EQ(Split(line), (Fields{"a;b", "", "\"Q\"", "0", "", "", "two lines"}));
  EXPECT_EQ(host.LiveVariantTexts(), 0u);
}

// Hands out at most `limit` bytes per read, to put line ends across chunks.
class TrickleSource : public ByteSource {
 public:
  TrickleSource(std::string bytes, std::size_t limit) : bytes_(std::move(bytes)), limit_(limit) {}
  bool Read(char* buffer, std::size_t capacity, std::size_t& count) override {
    count = std::min({capacity, limit_, bytes_.size() - pos_});
    std::copy_n(bytes_.data() + pos_, count, buffer);
    pos_ += count;
    return true;
  }

 private:
  std::string bytes_;
  std::size_t limit_;
  std::size_t pos_ = 0;
};

std::vector<std::string> ReadLines(const std::string& bytes, std::size_t trickle,
                                   std::size_t chunk) {
  TrickleSource source(bytes, trickle);
  LineReader reader(source, chunk);
  std::vector<std::string> lines;
  std::string_view line;
  while (reader.Next(line)) lines.emplace_back(line);
  EXPECT_FALSE(reader.Failed());
  EXPECT_FALSE(reader.Next(line)) << "reading on after the end";
  return lines;
}

struct LineCase {
  std::string bytes;
  std::vector<std::string> lines;
};

TEST(CsvLineReader, SplitsLinesWhereverTheChunksEnd) {
  const LineCase cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\n", {"a"}},
      {"a\n", {"a"}},
      {"a\r\nb\nc", {"a", "b", "c"}},
      {"a\r\n\r\nb\r\n", {"a", "", "b"}},
      {"\r\n", {""}},
      {"\n\n", {"", ""}},
      {"a\rb\r\n", {"ab"}},
      {"a\r\rb\n", {"ab"}},
      {"a\r", {"a"}},
      {"\r", {""}},
      {"a\r\r\n", {"a"}},
      {"a\n\032b\n", {"a"}},
      {"\032a\r\nb", {}},
      {"a\r\n\x1a", {"a"}},
      {"ab\032cd\r\nef\r\n", {"ab"}},
      {std::string("\xFF\x00\xFE\n", 4), {std::string("\xFF\x00\xFE", 3)}},
  };
  for (const LineCase& c : cases) {
    for (std::size_t trickle : {1u, 2u, 3u, 1000u}) {
      for (std::size_t chunk : {1u, 2u, 4096u}) {
        EXPECT_EQ(ReadLines(c.bytes, trickle, chunk), c.lines)
            << "bytes: " << ::testing::PrintToString(c.bytes) << " trickle " << trickle << " chunk "
            << chunk;
      }
    }
  }
}

TEST(CsvLineReader, FileOfLoneCrsEndsItsLinesWithThem) {
  for (std::size_t chunk : {1u, 2u, 4096u}) {
    EXPECT_EQ(ReadLines("a\rb\r\rc;d\r", 1000, chunk),
              (std::vector<std::string>{"a", "b", "", "c;d"}));
    EXPECT_EQ(ReadLines("a\r\nb\rc", 1000, chunk), (std::vector<std::string>{"a", "bc"}));
  }
  // Only the first 64 KiB decide.
  const std::string lines(LineReader::kLineEndProbe - 2, '\r');
  EXPECT_EQ(ReadLines("a" + lines + "b\nc", 1000, 4096).size(), lines.size() + 2);
  EXPECT_EQ(ReadLines("a" + lines + "\nb", 1000, 4096), (std::vector<std::string>{"a", "b"}));
}

TEST(CsvLineReader, StopsAtALineLongerThanTheLimit) {
  const std::string longest(LineReader::kMaxLineLength, 'x');
  EXPECT_EQ(ReadLines(longest + "\r\n" + longest, 70000, 4096),
            (std::vector<std::string>{longest, longest}));

  const std::string bytes = "a\n" + longest + "x\nb\n";
  MemorySource source(bytes);
  LineReader reader(source);
  std::string_view line;
  ASSERT_TRUE(reader.Next(line));
  EXPECT_FALSE(reader.Next(line));
  EXPECT_TRUE(reader.TooLong());
  EXPECT_FALSE(reader.Failed());
}

TEST(CsvLineReader, KeepsLongLinesWhole) {
  const std::string longLine(200000, 'x');
  const auto lines = ReadLines(longLine + "\r\n" + longLine, 70000, 1024);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], longLine);
  EXPECT_EQ(lines[1], longLine);
}

// Fails on its second read: the line cut short must not come out.
class FailingSource : public ByteSource {
 public:
  bool Read(char* buffer, std::size_t capacity, std::size_t& count) override {
    if (reads_++ != 0) return false;
    const std::string first = "whole\r\ncut";
    count = std::min(capacity, first.size());
    std::copy_n(first.data(), count, buffer);
    return true;
  }

 private:
  int reads_ = 0;
};

TEST(CsvLineReader, StopsAtAFailedReadWithoutTheCutLine) {
  // Read directly, and through the decoding that the import puts in front.
  for (bool decoded : {false, true}) {
    SCOPED_TRACE(decoded ? "decoded" : "direct");
    FailingSource raw;
    DecodingSource text(raw);
    LineReader reader(decoded ? static_cast<ByteSource&>(text) : raw, 64);
    std::string_view line;
    ASSERT_TRUE(reader.Next(line));
    EXPECT_EQ(line, "whole");
    EXPECT_FALSE(reader.Next(line));
    EXPECT_TRUE(reader.Failed());
    EXPECT_FALSE(reader.Next(line));
  }
}

// What a decoding source hands out, read in trickles of `trickle` bytes
// through chunks of `chunk` bytes, so that marks, sequences and surrogate
// pairs fall across reads.
std::string DecodeAll(const std::string& bytes, std::size_t trickle, std::size_t chunk,
                      TextEncoding& encoding) {
  TrickleSource raw(bytes, trickle);
  DecodingSource source(raw, chunk);
  std::string text;
  char buffer[5];
  std::size_t count = 0;
  while (source.Read(buffer, sizeof buffer, count) && count != 0) text.append(buffer, count);
  encoding = source.Encoding();
  return text;
}

struct DecodeCase {
  const char* title;
  std::string bytes;
  std::string text;  // UTF-8
  TextEncoding encoding;
};

TEST(CsvDecoding, ReadsEachEncodingAsUtf8WhereverTheReadsEnd) {
  const std::string greek = "\xCE\xA9\xCE\xB1";  // Omega alpha
  const std::string emoji = "\xF0\x9F\x98\x80";  // outside the BMP
  const std::string mueller = "M\xC3\xBCller";   // in code page 1252 too
  const std::string far(70000, 'x');
  const DecodeCase cases[] = {
      {"empty", "", "", TextEncoding::Undecided},
      {"ascii", "Anna;Lee\r\n", "Anna;Lee\r\n", TextEncoding::Undecided},
      {"utf-8 mark", "\xEF\xBB\xBF" + mueller + ";" + greek, mueller + ";" + greek,
       TextEncoding::Utf8},
      {"utf-8 mark alone", "\xEF\xBB\xBF", "", TextEncoding::Utf8},
      {"utf-8 without mark", "Name\r\n" + greek + emoji + "\r\n",
       "Name\r\n" + greek + emoji + "\r\n", TextEncoding::Utf8},
      {"code page", "M\xFCller;\x80;\x81\r\n", mueller + ";\xE2\x82\xAC;\xC2\x81\r\n",
       TextEncoding::CodePage},
      {"code page that begins like utf-8", "\xC3\x28", "\xC3\x83(", TextEncoding::CodePage},
      {"a stray byte near the start", greek + "\xFF", "\xC3\x8E\xC2\xA9\xC3\x8E\xC2\xB1\xC3\xBF",
       TextEncoding::CodePage},
      {"a stray byte beyond the look", greek + far + "\xFF" + greek,
       greek + far + "\xC3\xBF" + greek, TextEncoding::Utf8},
      {"utf-8 cut at the end", "a\xE2\x82", "a\xC3\xA2\xE2\x80\x9A", TextEncoding::CodePage},
      {"utf-16 little-endian", testhost::Utf16FileBytes(u"M\u00FCller;\u03A9\r\n\U0001F600", true),
       mueller + ";\xCE\xA9\r\n" + emoji, TextEncoding::Utf16LE},
      {"utf-16 big-endian", testhost::Utf16FileBytes(u"M\u00FCller;\u03A9\r\n\U0001F600", false),
       mueller + ";\xCE\xA9\r\n" + emoji, TextEncoding::Utf16BE},
      {"utf-16 with an odd byte and a lone surrogate",
       testhost::Utf16FileBytes(u"a\xD800", true) + "b", "a\xEF\xBF\xBD\xEF\xBF\xBD",
       TextEncoding::Utf16LE},
      {"a text that only begins like a mark", "\xEF\xBB", "\xC3\xAF\xC2\xBB",
       TextEncoding::CodePage},
  };
  for (const DecodeCase& c : cases) {
    for (std::size_t trickle : {1u, 2u, 3u, 1000u}) {
      for (std::size_t chunk : {1u, 5u, 4096u}) {
        TextEncoding encoding = TextEncoding::Undecided;
        EXPECT_EQ(DecodeAll(c.bytes, trickle, chunk, encoding), c.text)
            << c.title << ", trickle " << trickle << ", chunk " << chunk;
        EXPECT_EQ(encoding, c.encoding) << c.title;
      }
    }
  }
}

TEST(CsvDecoding, TwoByteTextIsConvertedBeforeLinesAreSplit) {
  // U+010A and U+0D0A hold the bytes of a line feed and a CR LF.
  TrickleSource raw(testhost::Utf16FileBytes(u"\u010A;\u0D0A\r\nx", true), 1000);
  DecodingSource text(raw);
  LineReader reader(text);
  std::string_view line;
  ASSERT_TRUE(reader.Next(line));
  EXPECT_EQ(line, "\xC4\x8A;\xE0\xB4\x8A");
  ASSERT_TRUE(reader.Next(line));
  EXPECT_EQ(line, "x");
  EXPECT_FALSE(reader.Next(line));
}

}  // namespace
