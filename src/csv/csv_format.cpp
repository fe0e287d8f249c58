#include "csv/csv_format.h"

#include <algorithm>
#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#include <emmintrin.h>
// The 32-bit build assumes no SSE2 anywhere else; the scans ask for it by name.
#define KESTRIN_BLOCK_SCAN __attribute__((target("sse2")))
#define KESTRIN_HAVE_SSE2 1
#else
#define KESTRIN_BLOCK_SCAN
#endif

namespace {

constexpr char kEndOfFile = 26;  // Ctrl-Z

bool IsLineControl(char c) { return c == '\n' || c == '\r' || c == kEndOfFile; }

constexpr std::size_t kBlock = 16;   // bytes compared in one step
constexpr std::size_t kWindow = 64;  // bytes whose hits one word holds

// Bit i tells whether `bytes[i]` is one of the set, for the sixteen bytes there.
template <char... kBytes>
KESTRIN_BLOCK_SCAN inline uint32_t BlockHits(const char* bytes) {
#ifdef KESTRIN_HAVE_SSE2
  const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
  __m128i hits = _mm_setzero_si128();
  ((hits = _mm_or_si128(hits, _mm_cmpeq_epi8(block, _mm_set1_epi8(kBytes)))), ...);
  return static_cast<uint32_t>(_mm_movemask_epi8(hits));
#else
  uint32_t hits = 0;
  for (std::size_t i = 0; i < kBlock; ++i)
    if (((bytes[i] == kBytes) || ...)) hits |= uint32_t{1} << i;
  return hits;
#endif
}

// Bit i tells whether byte `base + i` of the text is one of the set; nothing
// beyond the text's end is read.
template <char... kBytes>
KESTRIN_BLOCK_SCAN inline uint64_t WindowHits(std::string_view text, std::size_t base) {
  const char* const data = text.data();
  const std::size_t size = text.size();
  if (size >= kWindow) {
    // A whole window, or the text's last 64 bytes shifted to start at `base`:
    // no bounds to test.
    const std::size_t start = std::min(base, size - kWindow);
    const char* const bytes = data + start;
    return (uint64_t{BlockHits<kBytes...>(bytes)} |
            uint64_t{BlockHits<kBytes...>(bytes + 16)} << 16 |
            uint64_t{BlockHits<kBytes...>(bytes + 32)} << 32 |
            uint64_t{BlockHits<kBytes...>(bytes + 48)} << 48) >>
           (base - start);
  }
  uint64_t hits = 0;
  for (std::size_t block = 0; block < kWindow; block += kBlock) {
    const std::size_t at = base + block;
    if (at >= size) break;
    uint32_t blockHits;
    if (size - at >= kBlock) {
      blockHits = BlockHits<kBytes...>(data + at);
    } else if (size >= kBlock) {
      // The last sixteen bytes of the text, shifted to start at `at`.
      blockHits = BlockHits<kBytes...>(data + size - kBlock) >> (kBlock - (size - at));
    } else {
      static_assert(((kBytes != 0) && ...), "the padding must match nothing");
      char padded[kBlock] = {};
      std::memcpy(padded, data + at, size - at);
      blockHits = BlockHits<kBytes...>(padded);
    }
    hits |= uint64_t{blockHits} << block;
  }
  return hits;
}

// The position of the first byte of the set at or after `from`, or the text's
// size. Looks at sixteen bytes per step, so that the bytes between hits cost
// a fraction of a step each; `window` keeps the hits of the last 64 bytes for
// the next call, whose `from` must not be smaller.
template <char... kBytes>
KESTRIN_BLOCK_SCAN inline std::size_t FindNext(std::string_view text, std::size_t from,
                                               ScanWindow& window) {
  const std::size_t size = text.size();
  if (from >= size) return size;
  const std::size_t base = from - from % kWindow;
  if (base != window.base) {
    window.base = base;
    window.hits = WindowHits<kBytes...>(text, base);
  }
  uint64_t hits = window.hits & (~uint64_t{0} << (from - base));
  while (hits == 0) {
    window.base += kWindow;
    if (window.base >= size) return size;
    hits = window.hits = WindowHits<kBytes...>(text, window.base);
  }
  return window.base + static_cast<std::size_t>(__builtin_ctzll(hits));
}

// Whether any of the `size` bytes at `bytes` is one of the set.
template <char... kBytes>
KESTRIN_BLOCK_SCAN inline bool HoldsAny(const char* bytes, std::size_t size) {
  if (size < kBlock) {
    for (std::size_t i = 0; i < size; ++i)
      if (((bytes[i] == kBytes) || ...)) return true;
    return false;
  }
  for (std::size_t at = 0; at + kBlock <= size; at += kBlock)
    if (BlockHits<kBytes...>(bytes + at) != 0) return true;
  // The last sixteen bytes, some of them seen already.
  return BlockHits<kBytes...>(bytes + size - kBlock) != 0;
}

}  // namespace

// The position of the first line control in the chunk at or after `pos_`, or `end_`.
KESTRIN_BLOCK_SCAN std::size_t LineReader::FindLineControl() {
  const char* const data = chunk_.data();
  // Most lines hold no control but the LF or CR LF that ends them: memchr
  // finds the LF, and a test without positions confirms the bytes before it.
  // Where that fails, the block scan takes over up to that LF, so that no
  // byte is searched twice.
  if (pos_ >= blockScanUntil_) {
    const void* lf = std::memchr(data + pos_, '\n', end_ - pos_);
    if (lf == nullptr) {
      blockScanUntil_ = end_;
    } else {
      blockScanUntil_ = static_cast<std::size_t>(static_cast<const char*>(lf) - data);
      std::size_t at = blockScanUntil_;
      if (at > pos_ && data[at - 1] == '\r') --at;
      if (!HoldsAny<'\r', kEndOfFile>(data + pos_, at - pos_)) return at;
    }
  }
  return FindNext<'\n', '\r', kEndOfFile>(std::string_view(data, end_), pos_, scan_);
}

KESTRIN_BLOCK_SCAN void SplitFields(std::string_view line, FieldList& fields) {
  fields.clear();
  const std::size_t size = line.size();
  ScanWindow semicolons;
  ScanWindow quotes;
  std::size_t pos = 0;
  while (pos < size) {
    if (line[pos] != '"') {
      const std::size_t end = FindNext<';'>(line, pos, semicolons);
      fields.emplace_back(line.data() + pos, end - pos);
      pos = end + 1;
      continue;
    }
    // A quoted field ends at a quote followed by a semicolon or by the line's end.
    ++pos;
    std::size_t end = FindNext<'"'>(line, pos, quotes);
    while (end + 1 < size && line[end + 1] != ';') end = FindNext<'"'>(line, end + 1, quotes);
    fields.emplace_back(line.data() + pos, std::min(end, size) - pos);
    pos = end + 1;
    if (pos < size && line[pos] == ';') ++pos;
  }
}

FieldList SplitFields(std::string_view line) {
  FieldList fields;
  SplitFields(line, fields);
  return fields;
}

int32_t FindColumn(const FieldList& fields, std::string_view title) {
  const auto found = std::find(fields.begin(), fields.end(), title);
  if (found == fields.end()) return kAbsentColumn;
  return static_cast<int32_t>(std::min<std::ptrdiff_t>(found - fields.begin(), kAbsentColumn - 1));
}

bool ReadHeader(std::string_view line, ColumnMap& map) {
  const FieldList fields = SplitFields(line);
  if (fields.empty()) return false;
  for (int column = 0; column < kColumnCount; ++column)
    map.index[column] = FindColumn(fields, kColumnTitles[column]);
  return true;
}

std::string_view ColumnValue(const FieldList& fields, const ColumnMap& map, Column column) {
  const int32_t index = map[column];
  if (index < 0 || static_cast<std::size_t>(index) >= fields.size()) return std::string_view();
  return fields[static_cast<std::size_t>(index)];
}

std::string FieldText(std::string_view value) {
  std::string text(value);
  std::replace_if(text.begin(), text.end(), IsLineControl, ' ');
  const bool needsQuotes = text.find(';') != std::string::npos || (!text.empty() && text[0] == '"');
  if (!needsQuotes) return text;
  std::string quoted;
  quoted.reserve(text.size() + 4);
  quoted += '"';
  for (std::size_t at = 0; at < text.size(); ++at) {
    quoted += text[at];
    // Inside quotes, '";' would close the field early.
    if (text[at] == '"' && at + 1 < text.size() && text[at + 1] == ';') quoted += ' ';
  }
  quoted += '"';
  return quoted;
}

std::string RecordLine(const ColumnValues& values) {
  std::string line = FieldText(values.text[0]);
  for (int column = 1; column < kColumnCount; ++column) {
    line += ';';
    line += FieldText(values.text[column]);
  }
  return line;
}

bool MemorySource::Read(char* buffer, std::size_t capacity, std::size_t& count) {
  count = std::min(capacity, bytes_.size());
  if (count != 0) std::memcpy(buffer, bytes_.data(), count);
  bytes_.remove_prefix(count);
  return true;
}

LineReader::LineReader(ByteSource& source, std::size_t chunkSize)
    : source_(source), chunk_(std::max<std::size_t>(chunkSize, 1)) {}

std::string_view WithoutByteOrderMark(std::string_view firstLine) {
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (firstLine.substr(0, kByteOrderMark.size()) == kByteOrderMark)
    firstLine.remove_prefix(kByteOrderMark.size());
  return firstLine;
}

void LineReader::Probe() {
  probed_ = true;
  probe_.resize(kLineEndProbe);
  std::size_t filled = 0;
  while (filled < probe_.size()) {
    std::size_t count = 0;
    if (!source_.Read(&probe_[filled], probe_.size() - filled, count)) {
      failedAhead_ = true;  // told once the bytes before it are used
      break;
    }
    if (count == 0) break;
    filled += std::min(count, probe_.size() - filled);
  }
  probe_.resize(filled);
  // A file of lone CRs (an old Macintosh file) ends its lines with them.
  crEndsLines_ = probe_.find('\r') != std::string::npos && probe_.find('\n') == std::string::npos;
}

bool LineReader::Fill() {
  if (ended_) return false;
  if (!probed_) Probe();
  std::size_t count = 0;
  if (probeUsed_ < probe_.size()) {
    count = std::min(chunk_.size(), probe_.size() - probeUsed_);
    std::memcpy(chunk_.data(), probe_.data() + probeUsed_, count);
    probeUsed_ += count;
    if (probeUsed_ == probe_.size()) std::string().swap(probe_);
  } else if (failedAhead_ || !source_.Read(chunk_.data(), chunk_.size(), count)) {
    failed_ = true;
    ended_ = true;
    return false;
  }
  if (count == 0) {
    ended_ = true;
    return false;
  }
  pos_ = 0;
  end_ = std::min(count, chunk_.size());
  scan_ = ScanWindow();
  blockScanUntil_ = 0;
  return true;
}

bool LineReader::TooLongWith(std::string_view run) {
  if (line_.size() + run.size() <= kMaxLineLength) return false;
  // Not a file of lines at all, most likely: stop before memory runs out.
  tooLong_ = true;
  ended_ = true;
  return true;
}

std::string_view LineReader::Joined(std::string_view run) {
  if (line_.empty()) return run;
  line_ += run;
  return line_;
}

KESTRIN_BLOCK_SCAN bool LineReader::Next(std::string_view& line) {
  line = std::string_view();
  line_.clear();
  bool consumed = false;  // whether this line has taken any byte
  while (!ended_) {
    if (pos_ == end_ && !Fill()) break;
    const char* const data = chunk_.data();
    const std::size_t at = FindLineControl();
    const std::string_view rest(data + pos_, end_ - pos_);
    const std::string_view run = rest.substr(0, at - pos_);
    consumed = consumed || !run.empty();
    if (TooLongWith(run)) return false;
    if (run.size() == rest.size()) {
      // The chunk ends inside the line: keep its text before the chunk is refilled.
      line_ += run;
      pos_ = end_;
      continue;
    }
    pos_ += run.size() + 1;
    const char control = rest[run.size()];
    if (control == kEndOfFile) {
      // Nothing after the end-of-file mark is read, inside a line or at its start.
      ended_ = true;
      if (!consumed) return false;
      line = Joined(run);
      return true;
    }
    consumed = true;
    // A CR ends the line together with the LF right after it; alone it is
    // dropped, unless the file ends its lines with lone CRs.
    if (control == '\r' && !(pos_ < end_ && data[pos_] == '\n')) {
      if (crEndsLines_) {
        line = Joined(run);
        return true;
      }
      line_ += run;
      if (pos_ == end_ && !Fill()) break;
      if (chunk_[pos_] != '\n') continue;
      ++pos_;
      line = line_;
      return true;
    }
    if (control == '\r') ++pos_;
    line = Joined(run);
    return true;
  }
  if (!consumed || failed_) return false;
  line = line_;
  return true;
}
