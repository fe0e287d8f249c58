// Speed of the exchange file, at two sizes so that the ratio of the times
// shows whether the work stays linear (about 2 when the second size is twice
// the first):
//   - Export and Import of Kestrin users through the native test host, with a
//     real file in a temporary folder (contacts/s and MB/s), for ASCII names,
//     names in the code page (the file stays 8-bit) and names outside it (the
//     file is UTF-8), with the cost of each beside the ASCII one;
//   - Import of generated files of each kind the import reads: the plug-in's
//     semicolon file, an address book's comma file with quoted values (some
//     over two lines), the same comma file with a last column of labels that
//     spread the contacts over 20 contact-list groups (against the file
//     without it), and a vCard file (contacts/s);
//   - the line reader and field splitter alone over a large generated file
//     (about 100 MB at the default size), read through the import's file
//     source with each instruction set the processor has, against `wc -l`
//     run on the same file in the same run (MB/s by wall and by processor
//     time, and the ratio of the throughputs); an in-process memchr count of
//     the line ends for reference.
//
//   csv_bench [users] [more-users]   (defaults 100000 200000)
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "bench_support.h"
#include "exchange/commands/export_command.h"
#include "exchange/commands/file_source.h"
#include "exchange/commands/import_command.h"
#include "exchange/commands/import_loop.h"
#include "exchange/formats/csv_dialect.h"
#include "exchange/formats/csv_format.h"
#include "exchange/formats/vcard.h"
#include "host/globals.h"
#include "native/csv_writing.h"
#include "native_plugin.h"
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

using bench::StartPlugin;

// The kinds of names, and how the host holds them: 8-bit text in the code
// page, or UTF-8 for letters outside it.
enum class Names { Ascii, CodePage, Outside };
constexpr const char* kNamesTitle[] = {"ASCII names", "code-page names", "names outside it"};

void AddUsers(testhost::TestHost& host, std::size_t users, Names names) {
  for (std::size_t i = 0; i < users; ++i) {
    const std::string n = std::to_string(i);
    ContactDetails user;
    user.nick = (i % 10 == 0 ? "semi;colon " : "Nick ") + n;
    user.first = "First" + n;
    user.last = "Lastname" + n;
    if (names == Names::CodePage) {  // Jürgen Müller
      user.first = "J\xFCrgen" + n;
      user.last = "M\xFCller" + n;
    }
    user.contactType = static_cast<int32_t>(i % 6);
    user.email = "user" + n + "@example.com";
    if (i % 3 == 0) user.homepage = "http://example.com/~u" + n;
    user.mobile = "+49 171 " + n;
    const ContactHandle contact = host.AddKestrinUser(user);
    if (names == Names::Outside) {  // Greek
      host.SetUtf8(contact, kModule, "FirstName", "\xCE\x9D\xCE\xAF\xCE\xBA\xCE\xBF\xCF\x82" + n);
      host.SetUtf8(contact, kModule, "LastName",
                   "\xCE\xA0\xCE\xB1\xCF\x80\xCE\xB1\xCE\xB4\xCF\x8C\xCF\x80\xCE\xBF\xCF\x85\xCE"
                   "\xBB\xCE\xBF\xCF\x82" +
                       n);
    }
    if (i % 50 == 0) host.AddForeignContact("ICQ");
  }
}

// Imports `file` into an empty database; answers the seconds taken.
double TimeImport(testhost::TestHost& host, const std::string& file, std::size_t users,
                  std::size_t groups = 0) {
  StartPlugin(host);
  testhost::QueueFileDialogAnswer(file);
  const auto start = Clock::now();
  host.CallService("mKestrinUser/Import", 0, 0);
  const double seconds = Since(start);
  if (host.ContactCount() != users) Fail("the import did not create every user");
  if (host.Groups().size() != groups) Fail("the import did not make every group once");
  const auto shown = testhost::ShownMessages();
  if (shown.size() != 1 || shown[0].text != "Import process has completed.")
    Fail("the import did not complete");
  Unload();
  host.Reset();
  return seconds;
}

struct ExchangeTimes {
  double exportSeconds;
  double importSeconds;
  std::size_t fileBytes;
};

// Exports `users` Kestrin users into a file, then imports that file into an
// empty database.
ExchangeTimes MeasureExchange(std::size_t users, Names names, const testhost::TempFolder& folder) {
  auto& host = testhost::TestHost::Instance();
  StartPlugin(host);
  AddUsers(host, users, names);
  host.ClearWrites();
  const std::string file = folder.File("users-" + std::to_string(users) + ".csv");

  testhost::QueueFileDialogAnswer(file);
  auto start = Clock::now();
  host.CallService("mKestrinUser/Export", 0, 0);
  const double exportSeconds = Since(start);
  const std::size_t bytes = testhost::ReadFileBytes(file).size();

  Unload();
  const double importSeconds = TimeImport(host, file, users);
  ::unlink(file.c_str());
  return {exportSeconds, importSeconds, bytes};
}

enum class FileKind { Semicolon, Comma, Grouped, VCard, kCount };
constexpr const char* kKindNames[] = {"semicolon file", "comma file", "grouped file", "vCard file"};
constexpr std::size_t kGroups = 20;

// A file of `users` contacts of the given kind, with the same values in each.
std::string WriteKindFile(const testhost::TempFolder& folder, FileKind kind, std::size_t users) {
  std::string bytes;
  if (kind == FileKind::Semicolon) bytes = std::string(kHeaderLine) + kLineEnd;
  if (kind == FileKind::Comma || kind == FileKind::Grouped)
    bytes = std::string(
                "First Name,Last Name,Display Name,Nickname,Primary Email,Mobile Number,Notes,"
                "Web Page 1") +
            (kind == FileKind::Grouped ? ",Labels\r\n" : "\r\n");
  for (std::size_t i = 0; i < users; ++i) {
    const std::string n = std::to_string(i);
    ContactDetails user;
    user.first = "First" + n;
    user.last = "Lastname" + n;
    user.nick = "Nick, " + n;
    user.email = "user" + n + "@example.com";
    user.mobile = "+49 171 " + n;
    user.homepage = "http://example.com/~u" + n;
    user.contactType = static_cast<int32_t>(i % 6);
    switch (kind) {
      case FileKind::Semicolon:
        bytes += user.first + ';' + user.last + ";\"" + user.nick + "\";" + std::to_string(i % 6) +
                 ';' + user.email + ';' + user.mobile + ';' + user.homepage + kLineEnd;
        break;
      case FileKind::Comma:
      case FileKind::Grouped:
        bytes += user.first + ',' + user.last + ',' + user.first + ' ' + user.last + ',' +
                 QuoteField(user.nick, kComma) + ',' + user.email + ',' + user.mobile + ',' +
                 QuoteField(i % 4 == 0 ? "met at the\r\nfair" : "", kComma) + ',' + user.homepage;
        if (kind == FileKind::Grouped)
          bytes += ",* myContacts ::: Group " + std::to_string(i % kGroups) + " ::: Friends";
        bytes += kLineEnd;
        break;
      default: bytes += WriteVCard(user);
    }
  }
  const std::string path = folder.File("kind-" + std::to_string(users) + ".txt");
  testhost::WriteFileBytes(path, bytes);
  return path;
}

// A file of `lines` data lines like those export writes, all of one length,
// so that twice the lines make exactly twice the bytes.
std::string WriteLinesFile(const testhost::TempFolder& folder, std::size_t lines) {
  std::string bytes = std::string(kHeaderLine) + kLineEnd;
  for (std::size_t i = 0; i < lines; ++i) {
    char n[32];
    std::snprintf(n, sizeof n, "%08zu", i);
    bytes += std::string("First") + n + ";Lastname" + n + ";\"semi;colon " + n + "\";" +
             std::to_string(i % 6) + ";user" + n + "@example.com;+49 171 " + n +
             ";http://example.com/~u" + n + kLineEnd;
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

// Lines and fields as the import reads them; answers the field count.
std::size_t ReadAndSplit(const std::string& path) {
  auto file = Open(path);
  FileSource source(*file);
  LineReader reader(source);
  std::string_view line;
  FieldList fields;
  std::size_t count = 0;
  while (reader.Next(line)) {
    SplitFields(line, fields);
    count += fields.size();
  }
  return count;
}

// A line count in this process: the same bytes read in the same chunks, each
// LF found with memchr.
std::size_t CountLineEnds(const std::string& path) {
  auto file = Open(path);
  std::string chunk(LineReader::kDefaultChunk, '\0');
  std::size_t count = 0;
  std::size_t got = 0;
  std::string reason;
  while (file->Read(chunk.data(), chunk.size(), got, reason) && got != 0) {
    const char* at = chunk.data();
    const char* const end = at + got;
    while ((at = static_cast<const char*>(std::memchr(at, '\n', end - at))) != nullptr) {
      ++count;
      ++at;
    }
  }
  return count;
}

// Wall time, and processor time (user and system), which other work on a
// busy machine does not stretch.
struct Timing {
  double wall = 1e30;
  double processor = 1e30;

  void Keep(double wallSeconds, double processorSeconds) {
    wall = std::min(wall, wallSeconds);
    processor = std::min(processor, processorSeconds);
  }
};

double Seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
}

double ProcessorSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Keeps the better of each time of this process's `work` in `best`.
void Time(Timing& best, const std::function<void()>& work) {
  const auto start = Clock::now();
  const double processorStart = ProcessorSeconds();
  work();
  best.Keep(Since(start), ProcessorSeconds() - processorStart);
}

// `wc -l FILE` itself, as a child process with its output discarded: its wall
// time from start to exit, and its own processor time as the system counts it.
void TimeWordCount(Timing& best, const std::string& path) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  std::string wc = "wc", option = "-l", file = path;
  char* const args[] = {wc.data(), option.data(), file.data(), nullptr};
  const auto start = Clock::now();
  pid_t child = 0;
  const int spawned = ::posix_spawnp(&child, "wc", &actions, nullptr, args, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) Fail("cannot start wc -l");
  int status = 0;
  rusage usage{};
  if (::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    Fail("wc -l failed");
  best.Keep(Since(start), Seconds(usage.ru_utime) + Seconds(usage.ru_stime));
}

// The values of every contact of a file of the given kind, read as the
// import reads them but stored nowhere; answers the number of contacts.
std::size_t ReadKindFile(const std::string& path) {
  auto file = Open(path);
  FileSource source(*file);
  LineReader reader(source);
  LineStream lines(reader);
  std::size_t contacts = 0;
  if (IsVCardFile(lines)) {
    VCardReader cards(lines);
    ImportValues card;
    while (cards.Next(card)) ++contacts;
    return contacts;
  }
  std::string titles;
  if (!lines.Next(titles)) return 0;
  const TitleLine title = ReadTitleLine(titles);
  RecordReader records(lines, title.separator);
  FieldList fields;
  while (records.Next(fields) == RecordReader::Result::Record)
    if (!fields.empty() && !TakeValues(fields, title.map).first.empty()) ++contacts;
  return contacts;
}

// The instruction sets of the reader's scans, the best first.
constexpr ScanSet kScanSets[] = {ScanSet::Avx2, ScanSet::Sse2, ScanSet::Plain};
constexpr const char* kScanSetNames[] = {"AVX2", "SSE2", "plain"};
constexpr int kScanSetCount = 3;

struct ReaderTimes {
  Timing reader[kScanSetCount];  // by kScanSets; not taken where the processor lacks the set
  bool measured[kScanSetCount] = {};
  Timing count;
  Timing wc;
  std::size_t bytes = 0;
};

// The best of several rounds for files of `lines[0]` and `lines[1]` lines;
// everything takes turns, so that a busy moment of the machine favours no
// set and no size. The files stay in the page cache from their writing on.
void MeasureReader(const std::size_t (&lines)[2], const testhost::TempFolder& folder,
                   ReaderTimes (&best)[2]) {
  std::string paths[2];
  for (int i = 0; i < 2; ++i) {
    paths[i] = WriteLinesFile(folder, lines[i]);
    best[i].bytes = testhost::ReadFileBytes(paths[i]).size();
  }
  for (int round = 0; round < 9; ++round) {
    for (int i = 0; i < 2; ++i) {
      for (int set = 0; set < kScanSetCount; ++set) {
        if (!UseScanSet(kScanSets[set])) continue;
        best[i].measured[set] = true;
        std::size_t fields = 0;
        Time(best[i].reader[set], [&] { fields = ReadAndSplit(paths[i]); });
        if (fields != 7 * lines[i] + 7) Fail("the reader lost lines or fields");
      }
      UseScanSet(BestScanSet());
      std::size_t lineEnds = 0;
      Time(best[i].count, [&] { lineEnds = CountLineEnds(paths[i]); });
      if (lineEnds != lines[i] + 1) Fail("the line count is wrong");
      TimeWordCount(best[i].wc, paths[i]);
    }
  }
  for (const std::string& path : paths) ::unlink(path.c_str());
}

double MegaBytes(std::size_t bytes) { return static_cast<double>(bytes) / 1e6; }

}  // namespace

int main(int argc, char** argv) {
  const std::size_t sizes[2] = {bench::SizeArgument(argc, argv, 1, 100000),
                                bench::SizeArgument(argc, argv, 2, 200000)};
  testhost::TempFolder folder;

  // The best of three rounds, the kinds of names taking turns within each
  // round, so that a busy machine or an aged heap favours none of them.
  constexpr Names kKinds[] = {Names::Ascii, Names::CodePage, Names::Outside};
  ExchangeTimes exchange[3][2];
  for (int round = 0; round < 3; ++round) {
    for (int kind = 0; kind < 3; ++kind) {
      for (int i = 0; i < 2; ++i) {
        const ExchangeTimes times = MeasureExchange(sizes[i], kKinds[kind], folder);
        ExchangeTimes& best = exchange[kind][i];
        if (round == 0) best = times;
        best.exportSeconds = std::min(best.exportSeconds, times.exportSeconds);
        best.importSeconds = std::min(best.importSeconds, times.importSeconds);
      }
    }
  }
  for (int kind = 0; kind < 3; ++kind) {
    std::printf("%s\n", kNamesTitle[kind]);
    for (int i = 0; i < 2; ++i) {
      const ExchangeTimes& times = exchange[kind][i];
      const double users = static_cast<double>(sizes[i]);
      const double mb = MegaBytes(times.fileBytes);
      std::printf(
          "%7zu users, file %.1f MB: export %.3f s (%.0f contacts/s, %.1f MB/s), "
          "import %.3f s (%.0f contacts/s, %.1f MB/s)\n",
          sizes[i], mb, times.exportSeconds, users / times.exportSeconds, mb / times.exportSeconds,
          times.importSeconds, users / times.importSeconds, mb / times.importSeconds);
    }
    const double sizeRatio = static_cast<double>(sizes[1]) / static_cast<double>(sizes[0]);
    std::printf("ratio %zu/%zu: export %.2f, import %.2f (size ratio %.2f)\n", sizes[1], sizes[0],
                exchange[kind][1].exportSeconds / exchange[kind][0].exportSeconds,
                exchange[kind][1].importSeconds / exchange[kind][0].importSeconds, sizeRatio);
    if (kind != 0)
      std::printf("against ASCII names at %zu users: export %.2fx, import %.2fx\n", sizes[0],
                  exchange[kind][0].exportSeconds / exchange[0][0].exportSeconds,
                  exchange[kind][0].importSeconds / exchange[0][0].importSeconds);
    std::printf("\n");
  }

  const double sizeRatio = static_cast<double>(sizes[1]) / static_cast<double>(sizes[0]);
  auto& host = testhost::TestHost::Instance();
  double commaImports[2] = {};
  for (int kind = 0; kind < static_cast<int>(FileKind::kCount); ++kind) {
    std::string files[2];
    double imports[2] = {1e30, 1e30};
    Timing reading[2];
    for (int i = 0; i < 2; ++i)
      files[i] = WriteKindFile(folder, static_cast<FileKind>(kind), sizes[i]);
    // The two sizes take turns, so that the ratio does not follow the machine's mood.
    for (int round = 0; round < 9; ++round) {
      for (int i = 0; i < 2; ++i) {
        if (round < 3)
          imports[i] = std::min(
              imports[i], TimeImport(host, files[i], sizes[i],
                                     kind == static_cast<int>(FileKind::Grouped) ? kGroups : 0));
        Time(reading[i], [&] {
          if (ReadKindFile(files[i]) != sizes[i]) Fail("the reader lost contacts");
        });
      }
    }
    for (int i = 0; i < 2; ++i) {
      const double mb = MegaBytes(testhost::ReadFileBytes(files[i]).size());
      ::unlink(files[i].c_str());
      std::printf(
          "import of a %-14s %7zu users, %.1f MB: %.3f s (%.0f contacts/s); reading alone "
          "%.3f s of processor time (%.0f MB/s)\n",
          kKindNames[kind], sizes[i], mb, imports[i], static_cast<double>(sizes[i]) / imports[i],
          reading[i].processor, mb / reading[i].processor);
    }
    std::printf("ratio: import %.2f, reading %.2f (size ratio %.2f)\n", imports[1] / imports[0],
                reading[1].processor / reading[0].processor, sizeRatio);
    if (kind == static_cast<int>(FileKind::Comma)) std::copy(imports, imports + 2, commaImports);
    if (kind == static_cast<int>(FileKind::Grouped))
      std::printf("against the comma file without groups: import %.2fx at %zu, %.2fx at %zu\n",
                  imports[0] / commaImports[0], sizes[0], imports[1] / commaImports[1], sizes[1]);
  }
  std::printf("\n");

  ReaderTimes reader[2];
  const std::size_t lines[2] = {sizes[0] * 8, sizes[1] * 8};
  MeasureReader(lines, folder, reader);
  int best = 0;  // the best set the processor has
  while (!reader[0].measured[best]) ++best;
  for (int i = 0; i < 2; ++i) {
    const double mb = MegaBytes(reader[i].bytes);
    const ReaderTimes& r = reader[i];
    std::printf("%8zu lines, %.1f MB, best of 9, wall (processor) time:\n", lines[i], mb);
    for (int set = 0; set < kScanSetCount; ++set) {
      if (!r.measured[set]) continue;
      const Timing& t = r.reader[set];
      std::printf(
          "    reader+splitter, %-5s %.3f s (%.3f s), %5.0f MB/s (%5.0f MB/s): %.2fx (%.2fx) the "
          "throughput of wc -l\n",
          kScanSetNames[set], t.wall, t.processor, mb / t.wall, mb / t.processor,
          r.wc.wall / t.wall, r.wc.processor / t.processor);
    }
    std::printf(
        "    wc -l, child process   %.3f s (%.3f s), %5.0f MB/s (%5.0f MB/s)\n"
        "    memchr line count      %.3f s (%.3f s), %5.0f MB/s (%5.0f MB/s)\n",
        r.wc.wall, r.wc.processor, mb / r.wc.wall, mb / r.wc.processor, r.count.wall,
        r.count.processor, mb / r.count.wall, mb / r.count.processor);
  }
  std::printf("ratio T(2N)/T(N): reader+splitter, %s, %.2f (%.2f) (size ratio %.2f)\n",
              kScanSetNames[best], reader[1].reader[best].wall / reader[0].reader[best].wall,
              reader[1].reader[best].processor / reader[0].reader[best].processor,
              static_cast<double>(reader[1].bytes) / static_cast<double>(reader[0].bytes));
  return 0;
}
