// Reading a text file line by line: byte sources, the line reader, and a
// stream of its lines that can look ahead. Portable: works on memory and on
// anything that can hand out bytes in chunks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/text/scan.h"

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

// A line reader with lines taken ahead, so that the kind of a file can be
// told from its first lines before its reading starts.
class LineStream {
 public:
  explicit LineStream(LineReader& reader) : reader_(reader) {}
  LineStream(const LineStream&) = delete;
  LineStream& operator=(const LineStream&) = delete;

  bool Next(std::string& line);
  // The line `ahead` places after the next one (0: the next), or null past the end.
  const std::string* Peek(std::size_t ahead);
  // Lines handed out by Next so far.
  std::size_t LinesRead() const { return linesRead_; }

 private:
  LineReader& reader_;  // not owned
  std::deque<std::string> ahead_;
  std::size_t linesRead_ = 0;
};
