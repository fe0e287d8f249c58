// The text of an exchange file as UTF-8, whatever the file holds: a layer in
// front of the line reader, which works on bytes and sees line ends only once
// two-byte text has been converted.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "exchange/text/line_reader.h"

enum class TextEncoding {
  Undecided,  // no mark and nothing but ASCII so far: the same in every encoding
  Utf8,       // a UTF-8 mark, or valid UTF-8 holding non-ASCII sequences
  CodePage,   // the system's 8-bit code page, as files without a mark always were
  Utf16LE,    // little-endian mark
  Utf16BE,    // big-endian mark
};

// Hands out the bytes of `raw` converted to UTF-8, without a byte-order mark.
// A file without a mark is UTF-8 when the 64 KiB from its first non-ASCII
// byte on (or the rest of the file, when shorter) are valid UTF-8; otherwise
// it is in the code page. A byte that is not UTF-8 further on in a file taken
// as UTF-8 is read as a code-page character, so nothing is dropped. Memory
// stays within that look and one chunk.
class DecodingSource : public ByteSource {
 public:
  explicit DecodingSource(ByteSource& raw, std::size_t chunkSize = LineReader::kDefaultChunk);
  bool Read(char* buffer, std::size_t capacity, std::size_t& count) override;
  TextEncoding Encoding() const { return encoding_; }

 private:
  // Reads and converts until there is output or the file has ended; false
  // when a read failed.
  bool Refill();
  void DetectMark();
  void DecideByContent();
  void DecodeUtf8();
  void DecodeCodePage();
  void DecodeUtf16();

  ByteSource& raw_;  // not owned
  std::vector<char> chunk_;
  std::string input_;  // raw bytes not yet converted
  std::string output_;
  std::size_t outputPos_ = 0;
  TextEncoding encoding_ = TextEncoding::Undecided;
  bool markChecked_ = false;
  bool rawEnded_ = false;
  bool failed_ = false;
};
