// Speed of the exchange file, at two sizes so that the ratio of the times
// shows whether the work stays linear (about 2 when the second size is twice
// the first):
//   - Export and Import of Kestrin users through the native test host, with a
//     real file in a temporary folder (contacts/s and MB/s);
//   - the line reader and field splitter alone over a large generated file,
//     against a plain count of its line ends (MB/s).
//
//   csv_bench [users] [more-users]   (defaults 100000 200000)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "bench_support.h"
#include "csv/csv_exchange.h"
#include "csv/csv_format.h"
#include "host/globals.h"
#include "plugin/mKestrinUser.h"
#include "shell/files.h"
#include "testhost/native_files.h"
#include "testhost/native_shell.h"
#include "testhost/test_host.h"

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "csv_bench: %s\n", what);
  std::exit(1);
}

void StartPlugin(testhost::TestHost& host) {
  host.Reset();
  testhost::ResetNativeShell();
  testhost::ResetNativeFiles();
  Load(host.Link());
  host.FireEvent("Miranda/System/ModulesLoaded", 0, 0);
}

void AddUsers(testhost::TestHost& host, std::size_t users) {
  for (std::size_t i = 0; i < users; ++i) {
    const ContactHandle contact = host.AddKestrinContact();
    const std::string n = std::to_string(i);
    host.SetString(contact, kModule, "FirstName", "First" + n);
    host.SetString(contact, kModule, "LastName", "Lastname" + n);
    host.SetString(contact, kModule, "Nick", "Nick " + n);
    host.SetDword(contact, kModule, "ContactType", static_cast<uint32_t>(i % 6));
    host.SetString(contact, kModule, "e-mail", "user" + n + "@example.com");
    host.SetString(contact, kModule, "AlternativeCellular", "+49 171 " + n);
    host.SetString(contact, kModule, "Cellular", "+49 171 " + n + " SMS");
    if (i % 3 == 0) host.SetString(contact, kModule, "Homepage", "http://example.com/~u" + n);
    if (i % 10 == 0) host.SetString(contact, kModule, "Nick", "semi;colon " + n);
    if (i % 50 == 0) host.AddForeignContact("ICQ");
  }
}

struct ExchangeTimes {
  double exportSeconds;
  double importSeconds;
  std::size_t fileBytes;
};

// Exports `users` Kestrin users into a file, then imports that file into an
// empty database.
ExchangeTimes MeasureExchange(std::size_t users, const testhost::TempFolder& folder) {
  auto& host = testhost::TestHost::Instance();
  StartPlugin(host);
  AddUsers(host, users);
  host.ClearWrites();
  const std::string file = folder.File("users-" + std::to_string(users) + ".csv");

  testhost::QueueFileDialogAnswer(file);
  auto start = Clock::now();
  host.CallService("mKestrinUser/Export", 0, 0);
  const double exportSeconds = Since(start);
  const std::size_t bytes = testhost::ReadFileBytes(file).size();

  Unload();
  StartPlugin(host);
  testhost::QueueFileDialogAnswer(file);
  start = Clock::now();
  host.CallService("mKestrinUser/Import", 0, 0);
  const double importSeconds = Since(start);
  if (host.ContactCount() != users) Fail("the import did not create every user");
  const auto shown = testhost::ShownMessages();
  if (shown.size() != 1 || shown[0].text != "Import process has completed.")
    Fail("the import did not complete");
  Unload();
  host.Reset();
  ::unlink(file.c_str());
  return {exportSeconds, importSeconds, bytes};
}

// A file of `lines` data lines like those export writes.
std::string WriteLinesFile(const testhost::TempFolder& folder, std::size_t lines) {
  std::string bytes = std::string(kHeaderLine) + kLineEnd;
  for (std::size_t i = 0; i < lines; ++i) {
    const std::string n = std::to_string(i);
    bytes += "First" + n + ";Lastname" + n + ";\"semi;colon " + n + "\";" + std::to_string(i % 6) +
             ";user" + n + "@example.com;+49 171 " + n + ";http://example.com/~u" + n + kLineEnd;
  }
  const std::string path = folder.File("lines-" + std::to_string(lines) + ".csv");
  testhost::WriteFileBytes(path, bytes);
  return path;
}

std::unique_ptr<shell::ReadableFile> Open(const std::string& path) {
  std::string reason;
  auto file = shell::OpenForReading(path, reason);
  if (!file) Fail("cannot open the generated file");
  return file;
}

// Lines and fields through LineReader and SplitFields; answers the field count.
std::size_t ReadAndSplit(const std::string& path) {
  auto file = Open(path);
  FileSource source(*file);
  LineReader reader(source);
  std::string line;
  std::size_t fields = 0;
  while (reader.Next(line)) fields += SplitFields(line).size();
  return fields;
}

// The floor: the same bytes read in the same chunks, counting LF only.
std::size_t CountLineEnds(const std::string& path) {
  auto file = Open(path);
  std::string chunk(LineReader::kDefaultChunk, '\0');
  std::size_t count = 0;
  std::size_t got = 0;
  std::string reason;
  while (file->Read(chunk.data(), chunk.size(), got, reason) && got != 0)
    count += static_cast<std::size_t>(std::count(chunk.data(), chunk.data() + got, '\n'));
  return count;
}

template <typename Work>
double Best(Work work) {
  double best = 1e30;
  for (int round = 0; round < 3; ++round) {
    const auto start = Clock::now();
    work();
    best = std::min(best, Since(start));
  }
  return best;
}

struct ReaderTimes {
  double readerSeconds;
  double countSeconds;
  std::size_t bytes;
};

ReaderTimes MeasureReader(std::size_t lines, const testhost::TempFolder& folder) {
  const std::string path = WriteLinesFile(folder, lines);
  const std::size_t bytes = testhost::ReadFileBytes(path).size();
  std::size_t fields = 0;
  std::size_t lineEnds = 0;
  const double readerSeconds = Best([&] { fields = ReadAndSplit(path); });
  const double countSeconds = Best([&] { lineEnds = CountLineEnds(path); });
  if (lineEnds != lines + 1 || fields != 7 * lines + 7) Fail("the reader lost lines or fields");
  ::unlink(path.c_str());
  return {readerSeconds, countSeconds, bytes};
}

double MegaBytes(std::size_t bytes) { return static_cast<double>(bytes) / 1e6; }

}  // namespace

int main(int argc, char** argv) {
  const std::size_t sizes[2] = {bench::SizeArgument(argc, argv, 1, 100000),
                                bench::SizeArgument(argc, argv, 2, 200000)};
  testhost::TempFolder folder;

  ExchangeTimes exchange[2];
  for (int i = 0; i < 2; ++i) {
    exchange[i] = MeasureExchange(sizes[i], folder);
    const double users = static_cast<double>(sizes[i]);
    const double mb = MegaBytes(exchange[i].fileBytes);
    std::printf(
        "%7zu users, file %.1f MB: export %.3f s (%.0f contacts/s, %.1f MB/s), "
        "import %.3f s (%.0f contacts/s, %.1f MB/s)\n",
        sizes[i], mb, exchange[i].exportSeconds, users / exchange[i].exportSeconds,
        mb / exchange[i].exportSeconds, exchange[i].importSeconds,
        users / exchange[i].importSeconds, mb / exchange[i].importSeconds);
  }
  const double sizeRatio = static_cast<double>(sizes[1]) / static_cast<double>(sizes[0]);
  std::printf("ratio %zu/%zu: export %.2f, import %.2f (size ratio %.2f)\n\n", sizes[1], sizes[0],
              exchange[1].exportSeconds / exchange[0].exportSeconds,
              exchange[1].importSeconds / exchange[0].importSeconds, sizeRatio);

  ReaderTimes reader[2];
  for (int i = 0; i < 2; ++i) {
    const std::size_t lines = sizes[i] * 10;
    reader[i] = MeasureReader(lines, folder);
    const double mb = MegaBytes(reader[i].bytes);
    std::printf(
        "%8zu lines, %.1f MB: reader+splitter %.3f s (%.0f MB/s), plain line count "
        "%.3f s (%.0f MB/s), %.1fx the count\n",
        lines, mb, reader[i].readerSeconds, mb / reader[i].readerSeconds, reader[i].countSeconds,
        mb / reader[i].countSeconds, reader[i].readerSeconds / reader[i].countSeconds);
  }
  std::printf("ratio: reader+splitter %.2f (size ratio %.2f)\n",
              reader[1].readerSeconds / reader[0].readerSeconds, sizeRatio);
  return 0;
}
