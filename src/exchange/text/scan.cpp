#include "exchange/text/scan.h"

#include <algorithm>
#include <cstring>

#include "exchange/text/text_marks.h"

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

// The scans look at 64 bytes at a time and give one bit per byte: bit i for
// byte i. Every instruction set gives the same bits.
constexpr std::size_t kWindow = kScanWindow;

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
// The two vector sets are one shape at two widths, each step under its own
// instruction-set attribute, so that nothing of them runs on a processor
// without it.

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

constexpr ScanKernels kPlainScans = {FindLineControlWith<PlainScan>, SplitFieldsWith<PlainScan>};

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
constexpr ScanKernels kSse2Scans = {FindLineControlSse2, SplitFieldsSse2};
constexpr ScanKernels kAvx2Scans = {FindLineControlAvx2, SplitFieldsAvx2};
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

const ScanKernels& ScansOf(ScanSet set) {
#ifdef KESTRIN_X86
  if (set == ScanSet::Avx2) return kAvx2Scans;
  if (set == ScanSet::Sse2) return kSse2Scans;
#endif
  return kPlainScans;
}

// The scans in use: the best set, chosen at the first use, or the one a test
// asked for. Two threads that race at the first use store the same choice.
const ScanKernels* activeScans = nullptr;

const ScanKernels* LoadActive() {
  const ScanKernels* scans = __atomic_load_n(&activeScans, __ATOMIC_ACQUIRE);
  if (scans == nullptr) {
    scans = &ScansOf(BestScanSet());
    __atomic_store_n(&activeScans, scans, __ATOMIC_RELEASE);
  }
  return scans;
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

const ScanKernels& ActiveScans() { return *LoadActive(); }
