// The scan kernels of the reader and the splitter: they look at 64 bytes at
// a time, with AVX2, SSE2 or plain code, and give one bit per byte of what
// they look for. Every instruction set gives the same results.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// Views into a split line: valid as long as the line's text is.
using FieldList = std::vector<std::string_view>;

// The instruction sets the kernels can use. The best one the processor has
// is used unless a test asks for another.
enum class ScanSet { Plain, Sse2, Avx2 };
ScanSet BestScanSet();
// False, changing nothing, when the processor lacks `set`.
bool UseScanSet(ScanSet set);

inline constexpr std::size_t kScanWindow = 64;

// How far a search through a text has come: the window of 64 bytes it
// examined last, and which of that window's bytes it looks for.
struct ScanWindow {
  std::size_t base = static_cast<std::size_t>(-1);  // none yet
  uint64_t hits = 0;
};

// The kernels of the set in use.
struct ScanKernels {
  // The position of the first line control (LF, CR, Ctrl-Z) in `data` at or
  // after `from`, or `size`. `window` keeps the bits of the last 64 bytes
  // looked at for the next call, whose `from` must not be smaller.
  std::size_t (*findLineControl)(const char* data, std::size_t size, std::size_t from,
                                 ScanWindow& window);
  // The fields of a semicolon-separated line into `fields`, reusing its
  // storage: a field that begins with a double quote ends at the first quote
  // followed by a semicolon or by the line's end, and loses its enclosing
  // quotes; a semicolon at the line's end gives no empty last field.
  void (*splitSemicolonFields)(std::string_view line, FieldList& fields);
};
const ScanKernels& ActiveScans();
