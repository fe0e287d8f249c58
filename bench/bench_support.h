// What the benchmark programs share.
#pragma once

#include <cstddef>
#include <cstdlib>

namespace bench {

// The positive number given as argument `index`, or `fallback`.
inline std::size_t SizeArgument(int argc, char** argv, int index, std::size_t fallback) {
  if (argc <= index) return fallback;
  const long long value = std::atoll(argv[index]);
  return value > 0 ? static_cast<std::size_t>(value) : fallback;
}

}  // namespace bench
