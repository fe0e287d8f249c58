// Speed of a repeated import: N records imported through the native test host
// into an empty database, into one that holds the same N Kestrin users
// (answered Update, every value equal: nothing is rewritten), and into one
// that holds N others (no match), at N and 2N. An import into N stored
// Kestrin users must cost no more than twice one into an empty database: the
// matching is one walk of the database and a hash lookup per record.
//
// Times are processor seconds, the best of three rounds.
//
//   import_bench [records]   (default 20000)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "bench_support.h"
#include "native_plugin.h"
#include "plugin/mKestrinUser.h"
#include "testhost/native_files.h"
#include "testhost/native_shell.h"
#include "testhost/test_host.h"

namespace {

constexpr int kRounds = 3;  // the best of these is taken

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "import_bench: %s\n", what);
  std::exit(1);
}

using bench::StartPlugin;

// `records` records of the plug-in's own file, numbered from `from`.
std::string UsersFile(std::size_t from, std::size_t records) {
  std::string file =
      "First Name;Last Name;Name;Contact Type;E-mail Address;Mobile Phone;Personal Web Page\r\n";
  for (std::size_t i = from; i < from + records; ++i) {
    const std::string n = std::to_string(i);
    file += "First" + n + ";Lastname" + n + ";Nick " + n + ";" + std::to_string(i % 6) + ";user" +
            n + "@example.com;+49 171 " + n + ";http://example.com/~u" + n + "\r\n";
  }
  return file;
}

double Import(testhost::TestHost& host, const std::string& path, std::size_t expected,
              bool update) {
  if (update) testhost::QueueChoice(0);
  testhost::ClearShownMessages();
  testhost::QueueFileDialogAnswer(path);
  // Processor time: the machine may be shared, and the import runs on this thread alone.
  const std::clock_t start = std::clock();
  host.CallService("mKestrinUser/Import", 0, 0);
  const double seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
  if (host.ContactCount() != expected) Fail("the import did not make the contacts expected");
  if (testhost::ShownMessages().size() != 1) Fail("the import did not complete");
  return seconds;
}

struct Times {
  double empty = 1e9;   // into an empty database
  double same = 1e9;    // into the same records, answered Update
  double others = 1e9;  // into as many other records
};

Times Measure(testhost::TestHost& host, std::size_t records) {
  const testhost::TempFolder folder;
  const std::string path = folder.File("users.csv");
  const std::string others = folder.File("others.csv");
  testhost::WriteFileBytes(path, UsersFile(0, records));
  testhost::WriteFileBytes(others, UsersFile(records, records));
  Times best;
  for (int round = 0; round < kRounds; ++round) {
    StartPlugin(host);
    best.empty = std::min(best.empty, Import(host, path, records, false));
    host.ClearWrites();
    best.same = std::min(best.same, Import(host, path, records, true));
    if (!host.Writes().empty()) Fail("the update rewrote values that were equal");
    Unload();
    StartPlugin(host);
    Import(host, others, records, false);
    best.others = std::min(best.others, Import(host, path, 2 * records, false));
    Unload();
  }
  host.Reset();
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t records = bench::SizeArgument(argc, argv, 1, 20000);
  auto& host = testhost::TestHost::Instance();
  const Times small = Measure(host, records);
  const Times large = Measure(host, 2 * records);
  std::printf("%-8s %12s %24s %12s %20s %12s\n", "records", "empty (s)", "same, updated (s)",
              "/ empty", "others, added (s)", "/ empty");
  for (const auto& [count, t] : {std::pair{records, small}, std::pair{2 * records, large}})
    std::printf("%-8zu %12.3f %24.3f %12.2f %20.3f %12.2f\n", count, t.empty, t.same,
                t.same / t.empty, t.others, t.others / t.empty);
  std::printf("2N / N: empty %.2f, same %.2f, others %.2f\n", large.empty / small.empty,
              large.same / small.same, large.others / small.others);
  const bool fast = small.same <= 2 * small.empty && small.others <= 2 * small.empty;
  std::printf("%zu into %zu within twice %zu into empty: %s\n", records, records, records,
              fast ? "yes" : "NO");
  return fast ? 0 : 1;
}
