#include "csv/csv_format.h"

#include <algorithm>
#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>
#define KESTRIN_X86 1
#ifdef __i386__
// The host may call with a stack aligned to 4 bytes only.
#define KESTRIN_VECTOR_ENTRY __attribute__((force_align_arg_pointer, flatten))
#else
#define KESTRIN_VECTOR_ENTRY __attribute__((flatten))
#endif
#endif

namespace {

constexpr char kEndOfFile = 26;  // Ctrl-Z

bool IsLineControl(char c) { return c == '\n' || c == '\r' || c == kEndOfFile; }

// The scans look at 64 bytes at a time and give one bit per byte: bit i for
// byte i. Every instruction set gives the same bits.
constexpr std::size_t kWindow = 64;

// What the splitter looks for.
struct FieldMarks {
  uint64_t semicolons;
  uint64_t quotes;
};

uint64_t ShiftedDown(uint64_t bits, std::size_t count) { return bits >> count; }
FieldMarks ShiftedDown(FieldMarks marks, std::size_t count) {
  return {marks.semicolons >> count, marks.quotes >> count};
}

// Any processor.
struct PlainScan {
  static uint64_t LineControls(const char* bytes) {
    uint64_t bits = 0;
    for (std::size_t i = 0; i < kWindow; ++i) bits |= uint64_t{IsLineControl(bytes[i])} << i;
    return bits;
  }
  static FieldMarks Fields(const char* bytes) {
    FieldMarks marks{0, 0};
    for (std::size_t i = 0; i < kWindow; ++i) {
      marks.semicolons |= uint64_t{bytes[i] == ';'} << i;
      marks.quotes |= uint64_t{bytes[i] == '"'} << i;
    }
    return marks;
  }
};

#ifdef KESTRIN_X86
// Sixteen bytes a step: every x86-64 processor, and most 32-bit ones since 2001.
struct Sse2Scan {
  __attribute__((target("sse2"))) static __m128i Load(const char* bytes) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
  }
  __attribute__((target("sse2"))) static __m128i Equal(__m128i block, char c) {
    return _mm_cmpeq_epi8(block, _mm_set1_epi8(c));
  }
  __attribute__((target("sse2"))) static uint64_t Bits(__m128i hits, std::size_t at) {
    return uint64_t{static_cast<uint32_t>(_mm_movemask_epi8(hits))} << at;
  }
  __attribute__((target("sse2"))) static uint64_t LineControls(const char* bytes) {
    uint64_t bits = 0;
    for (std::size_t at = 0; at < kWindow; at += 16) {
      const __m128i block = Load(bytes + at);
      bits |= Bits(_mm_or_si128(_mm_or_si128(Equal(block, '\n'), Equal(block, '\r')),
                                Equal(block, kEndOfFile)),
                   at);
    }
    return bits;
  }
  __attribute__((target("sse2"))) static FieldMarks Fields(const char* bytes) {
    FieldMarks marks{0, 0};
    for (std::size_t at = 0; at < kWindow; at += 16) {
      const __m128i block = Load(bytes + at);
      marks.semicolons |= Bits(Equal(block, ';'), at);
      marks.quotes |= Bits(Equal(block, '"'), at);
    }
    return marks;
  }
};

// Thirty-two bytes a step, where the processor and the system have it.
struct Avx2Scan {
  __attribute__((target("avx2,bmi,bmi2"))) static __m256i Load(const char* bytes) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes));
  }
  __attribute__((target("avx2,bmi,bmi2"))) static __m256i Equal(__m256i block, char c) {
    return _mm256_cmpeq_epi8(block, _mm256_set1_epi8(c));
  }
  __attribute__((target("avx2,bmi,bmi2"))) static uint64_t Bits(__m256i hits, std::size_t at) {
    return uint64_t{static_cast<uint32_t>(_mm256_movemask_epi8(hits))} << at;
  }
  __attribute__((target("avx2,bmi,bmi2"))) static uint64_t LineControls(const char* bytes) {
    uint64_t bits = 0;
    for (std::size_t at = 0; at < kWindow; at += 32) {
      const __m256i block = Load(bytes + at);
      bits |= Bits(_mm256_or_si256(_mm256_or_si256(Equal(block, '\n'), Equal(block, '\r')),
                                   Equal(block, kEndOfFile)),
                   at);
    }
    return bits;
  }
  __attribute__((target("avx2,bmi,bmi2"))) static FieldMarks Fields(const char* bytes) {
    FieldMarks marks{0, 0};
    for (std::size_t at = 0; at < kWindow; at += 32) {
      const __m256i block = Load(bytes + at);
      marks.semicolons |= Bits(Equal(block, ';'), at);
      marks.quotes |= Bits(Equal(block, '"'), at);
    }
    return marks;
  }
};
#endif

// The bits of a text shorter than a window, by `kScan`. Apart, so that the
// copy's frame does not burden every window.
template <auto kScan>
__attribute__((noinline)) auto ShortTextAt(const char* data, std::size_t size) {
  char padded[kWindow] = {};  // a zero byte is none of those looked for
  std::memcpy(padded, data, size);
  return kScan(padded);
}

// The bits of the 64 bytes of the text from `base` on, by `kScan`; nothing
// beyond the text's end is read, and the bits beyond it are clear.
template <auto kScan>
inline auto WindowAt(const char* data, std::size_t size, std::size_t base) {
  if (size - base >= kWindow) return kScan(data + base);
  if (size < kWindow) return ShortTextAt<kScan>(data + base, size - base);
  // The text's last 64 bytes, shifted to start at `base`.
  const std::size_t start = size - kWindow;
  return ShiftedDown(kScan(data + start), base - start);
}

// The position of the first line control in `data` at or after `from`, or
// `size`. `window` keeps the bits of the last 64 bytes looked at for the
// next call, whose `from` must not be smaller.
template <class Scan>
std::size_t FindLineControlWith(const char* data, std::size_t size, std::size_t from,
                                ScanWindow& window) {
  if (from >= size) return size;
  const std::size_t base = from - from % kWindow;
  if (base != window.base) {
    window.base = base;
    window.hits = WindowAt<Scan::LineControls>(data, size, base);
  }
  uint64_t hits = window.hits & (~uint64_t{0} << (from - base));
  while (hits == 0) {
    window.base += kWindow;
    if (window.base >= size) return size;
    hits = window.hits = WindowAt<Scan::LineControls>(data, size, window.base);
  }
  return window.base + static_cast<std::size_t>(__builtin_ctzll(hits));
}

// Where the splitter writes its next field, and the end of the list.
struct FieldSlots {
  std::string_view* next;
  std::string_view* stop;
};

// The list made longer when the splitter has filled it: its new elements.
// Apart from the splitter's loop, which it would only burden.
__attribute__((noinline)) FieldSlots Lengthened(FieldList& fields) {
  const std::size_t count = fields.size();
  fields.resize(std::max<std::size_t>(2 * count, 8));
  return {fields.data() + count, fields.data() + fields.size()};
}

template <class Scan>
void SplitFieldsWith(std::string_view line, FieldList& fields) {
  const char* const data = line.data();
  const std::size_t size = line.size();
  // Fields are written over the list's elements; the list grows only when a
  // line has more fields than the one before. The next slot stays in a
  // register, where the list's own end would be stored and loaded again for
  // every field (as push_back does).
  FieldSlots slots{fields.data(), fields.data() + fields.size()};
  const auto add = [&](const char* text, std::size_t length) {
    if (slots.next == slots.stop) slots = Lengthened(fields);
    *slots.next++ = std::string_view(text, length);
  };
  // One window of 64 bytes at a time; `semicolons` keeps only the bits at or
  // after `start`, where the next field begins.
  std::size_t base = 0;
  std::size_t start = 0;
  FieldMarks marks = size != 0 ? WindowAt<Scan::Fields>(data, size, 0) : FieldMarks{0, 0};
  uint64_t semicolons = marks.semicolons;
  while (start < size) {
    // The fields that begin in this window, up to the first that begins with a quote.
    const uint64_t startBit = start >= base ? uint64_t{1} << (start - base) : 0;
    const uint64_t quotedStarts = marks.quotes & ((semicolons << 1) | startBit);
    uint64_t ends = semicolons;
    if (quotedStarts != 0) ends &= (quotedStarts & (0 - quotedStarts)) - 1;
    semicolons ^= ends;
    while (ends != 0) {
      const std::size_t end = base + static_cast<std::size_t>(__builtin_ctzll(ends));
      ends &= ends - 1;
      add(data + start, end - start);
      start = end + 1;
    }
    if (quotedStarts == 0) {
      // The field at `start` runs into the next window, or to the line's end.
      base += kWindow;
      if (base >= size) {
        if (start < size) add(data + start, size - start);
        break;
      }
      marks = WindowAt<Scan::Fields>(data, size, base);
      semicolons = marks.semicolons;
      continue;
    }
    // A quoted field ends at a quote followed by a semicolon or by the line's end.
    const std::size_t first = start + 1;
    uint64_t closing = marks.quotes & (~uint64_t{1} << (start - base));
    std::size_t end = size;
    for (;;) {
      while (closing == 0 && base + kWindow < size) {
        base += kWindow;
        marks = WindowAt<Scan::Fields>(data, size, base);
        closing = marks.quotes;
      }
      if (closing == 0) break;
      end = base + static_cast<std::size_t>(__builtin_ctzll(closing));
      closing &= closing - 1;
      if (end + 1 == size || data[end + 1] == ';') break;
      end = size;
    }
    add(data + first, end - first);
    start = end + 2;
    if (start >= size) break;
    if (start - base >= kWindow) {
      base = start - start % kWindow;
      marks = WindowAt<Scan::Fields>(data, size, base);
    }
    semicolons = marks.semicolons & (~uint64_t{0} << (start - base));
  }
  fields.resize(static_cast<std::size_t>(slots.next - fields.data()));
}

// The scans of one instruction set.
struct Scans {
  std::size_t (*findLineControl)(const char*, std::size_t, std::size_t, ScanWindow&);
  void (*splitFields)(std::string_view, FieldList&);
};

constexpr Scans kPlainScans = {FindLineControlWith<PlainScan>, SplitFieldsWith<PlainScan>};

#ifdef KESTRIN_X86
// Each scan with its instruction set's steps inlined into it.
__attribute__((target("sse2"))) KESTRIN_VECTOR_ENTRY std::size_t FindLineControlSse2(
    const char* data, std::size_t size, std::size_t from, ScanWindow& window) {
  return FindLineControlWith<Sse2Scan>(data, size, from, window);
}
__attribute__((target("sse2"))) KESTRIN_VECTOR_ENTRY void SplitFieldsSse2(std::string_view line,
                                                                          FieldList& fields) {
  SplitFieldsWith<Sse2Scan>(line, fields);
}
__attribute__((target("avx2,bmi,bmi2"))) KESTRIN_VECTOR_ENTRY std::size_t FindLineControlAvx2(
    const char* data, std::size_t size, std::size_t from, ScanWindow& window) {
  return FindLineControlWith<Avx2Scan>(data, size, from, window);
}
__attribute__((target("avx2,bmi,bmi2"))) KESTRIN_VECTOR_ENTRY void SplitFieldsAvx2(
    std::string_view line, FieldList& fields) {
  SplitFieldsWith<Avx2Scan>(line, fields);
}
constexpr Scans kSse2Scans = {FindLineControlSse2, SplitFieldsSse2};
constexpr Scans kAvx2Scans = {FindLineControlAvx2, SplitFieldsAvx2};
#endif

bool Supports(ScanSet set) {
#ifdef KESTRIN_X86
  __builtin_cpu_init();
  if (set == ScanSet::Avx2)
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
           __builtin_cpu_supports("bmi2");
  if (set == ScanSet::Sse2) return __builtin_cpu_supports("sse2");
#endif
  return set == ScanSet::Plain;
}

const Scans& ScansOf(ScanSet set) {
#ifdef KESTRIN_X86
  if (set == ScanSet::Avx2) return kAvx2Scans;
  if (set == ScanSet::Sse2) return kSse2Scans;
#endif
  return kPlainScans;
}

// The scans in use: the best set, chosen at the first use, or the one a test
// asked for. Two threads that race at the first use store the same choice.
const Scans* activeScans = nullptr;

const Scans& ActiveScans() {
  const Scans* scans = __atomic_load_n(&activeScans, __ATOMIC_ACQUIRE);
  if (scans == nullptr) {
    scans = &ScansOf(BestScanSet());
    __atomic_store_n(&activeScans, scans, __ATOMIC_RELEASE);
  }
  return *scans;
}

}  // namespace

ScanSet BestScanSet() {
  for (const ScanSet set : {ScanSet::Avx2, ScanSet::Sse2})
    if (Supports(set)) return set;
  return ScanSet::Plain;
}

bool UseScanSet(ScanSet set) {
  if (!Supports(set)) return false;
  __atomic_store_n(&activeScans, &ScansOf(set), __ATOMIC_RELEASE);
  return true;
}

void SplitFields(std::string_view line, FieldList& fields) {
  ActiveScans().splitFields(line, fields);
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

bool LineReader::Next(std::string_view& line) {
  // Most lines lie whole in the chunk and end with LF or CR LF.
  if (pos_ < end_ && !ended_) {
    const char* const data = chunk_.data();
    // The window of the line before often holds this line's end too.
    const uint64_t ahead = pos_ - scan_.base < kWindow ? scan_.hits >> (pos_ - scan_.base) : 0;
    const std::size_t at = ahead != 0 ? pos_ + static_cast<std::size_t>(__builtin_ctzll(ahead))
                                      : ActiveScans().findLineControl(data, end_, pos_, scan_);
    if (at < end_ && at - pos_ <= kMaxLineLength) {
      const std::size_t after = data[at] == '\n'                                            ? at + 1
                                : data[at] == '\r' && at + 1 < end_ && data[at + 1] == '\n' ? at + 2
                                                                                            : 0;
      if (after != 0) {
        line = std::string_view(data + pos_, at - pos_);
        pos_ = after;
        return true;
      }
    }
  }
  return NextAcrossChunks(line);
}

bool LineReader::NextAcrossChunks(std::string_view& line) {
  line = std::string_view();
  line_.clear();
  bool consumed = false;  // whether this line has taken any byte
  while (!ended_) {
    if (pos_ == end_ && !Fill()) break;
    const char* const data = chunk_.data();
    const std::size_t at = ActiveScans().findLineControl(data, end_, pos_, scan_);
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
