// The line reader and the field splitter in every instruction set the
// processor has, against the byte rules. The cross build runs these too, as
// the 32-bit DLL compiles them.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "exchange/formats/csv_format.h"
#include "exchange/text/line_reader.h"
#include "native/csv_rules.h"

namespace {

std::vector<std::string> ReadLines(const std::string& bytes, std::size_t chunk) {
  MemorySource source(bytes);
  LineReader reader(source, chunk);
  std::vector<std::string> lines;
  std::string_view line;
  while (reader.Next(line)) lines.emplace_back(line);
  return lines;
}

// Each instruction set in turn; one the processor lacks is skipped, not
// passed. The best one is in use again afterwards.
class EveryScanSet : public ::testing::TestWithParam<ScanSet> {
 protected:
  void SetUp() override {
    if (!UseScanSet(GetParam())) GTEST_SKIP() << "the processor lacks this instruction set";
  }
  void TearDown() override { UseScanSet(BestScanSet()); }
};

// Text of the bytes that matter to lines and fields, in runs that cross the
// 64-byte windows of the scans at every offset.
std::string RandomText(std::mt19937& random, std::size_t most) {
  static constexpr char kBytes[] = {'a', 'b', ';', ';', '"', '"', '\r', '\n', 26, '\0', '\xFF'};
  std::string text(random() % (most + 1), 'x');
  const std::size_t kinds = random() % sizeof kBytes + 1;  // fewer kinds: longer runs
  for (char& c : text) c = kBytes[random() % kinds];
  return text;
}

TEST_P(EveryScanSet, SplitterFollowsTheFieldRules) {
  std::mt19937 random(7);
  std::vector<std::string> lines;
  for (int i = 0; i < 3000; ++i) lines.push_back(RandomText(random, 300));
  FieldList reused;
  for (const std::string& line : lines) {
    SplitFields(line, reused);
    ASSERT_EQ(std::vector<std::string>(reused.begin(), reused.end()), csv_rules::Fields(line))
        << ::testing::PrintToString(line);
  }
}

TEST_P(EveryScanSet, LineReaderFollowsTheLineRules) {
  std::mt19937 random(11);
  std::vector<std::string> files;
  for (int i = 0; i < 600; ++i) files.push_back(RandomText(random, 1500));
  for (const std::string& bytes : files) {
    for (std::size_t chunk : {7u, 64u, 65u, 65536u})
      ASSERT_EQ(ReadLines(bytes, chunk), csv_rules::Lines(bytes))
          << ::testing::PrintToString(bytes) << " chunk " << chunk;
  }
}

std::string SetName(const ::testing::TestParamInfo<ScanSet>& info) {
  static const char* const kNames[] = {"Plain", "Sse2", "Avx2"};
  return kNames[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Scan, EveryScanSet,
                         ::testing::Values(ScanSet::Plain, ScanSet::Sse2, ScanSet::Avx2), SetName);

}  // namespace
