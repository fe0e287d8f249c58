// What the import costs the host and what its progress window costs:
//   - host calls per imported record, offline and online, by service, and the
//     order of one record's writes (native build only: it reads the test
//     host's records);
//   - files of N and 2N records imported with the progress window forced on
//     from the start and with it off, in turns, best of 3 each: the times,
//     with/without and T(2N)/T(N).
// Natively the window is the test host's stand-in, so the ratio is the cost
// of the observer itself (the clock read every 16 records, a status line
// every 100 ms); the time spent inside the observer is printed too, a figure
// that a busy machine does not blur. Built for Windows (build/cross/bin/progress_bench.exe, run
// with scripts/wine-run.sh) it is the real window, pumping messages, beside
// the test host's contact list, which walks every contact at each of its
// messages and timers that gets a turn. A time there is the import's own
// (until its closing message) plus the list's walks after it, the work a
// messenger still has to do once the import is over; the walks during and
// after the import are printed too.
//
//   progress_bench [records] [--no-list] [--once]
//     records: default 5000; --no-list: without the contact list; --once: one
//     import of each kind rather than the best of 3, for a slow build
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "bench_support.h"
#include "exchange/commands/import_command.h"
#include "exchange/formats/csv_format.h"
#include "host/globals.h"
#include "plugin/mKestrinUser.h"
#include "testhost/test_host.h"

#ifdef _WIN32
#include <windows.h>

#include <atomic>
#include <thread>
#else
#include "testhost/native_files.h"
#include "testhost/native_shell.h"
#endif

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kFile = "progress_bench.csv";

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "progress_bench: %s\n", what);
  std::exit(1);
}

void WriteUsers(std::size_t records) {
  std::FILE* file = std::fopen(kFile, "wb");
  if (file == nullptr) Fail("cannot write the file");
  std::fprintf(file, "%s\r\n", kHeaderLine);
  for (std::size_t i = 0; i < records; ++i)
    std::fprintf(file, "First%zu;Last%zu;Nick %zu;%zu;user%zu@example.com;+49 171 %zu;%s\r\n", i, i,
                 i, i % 6, i, i, i % 3 == 0 ? "http://example.com/" : "");
  std::fclose(file);
}

bool ListShown = true;

void StartPlugin(testhost::TestHost& host) {
  host.Reset();
  host.SetContactListShown(ListShown);
#ifndef _WIN32
  testhost::ResetNativeShell();
  testhost::ResetNativeFiles();
#endif
  Load(host.Link());
  host.FireEvent("Miranda/System/ModulesLoaded", 0, 0);
}

#ifdef _WIN32
// Presses OK in the closing message box, which would otherwise wait for a user.
class BoxDismisser {
 public:
  BoxDismisser()
      : thread_([this] {
          while (!stop_) {
            EnumWindows(Dismiss, 0);
            Sleep(5);
          }
        }) {}
  ~BoxDismisser() {
    stop_ = true;
    thread_.join();
  }

 private:
  static BOOL CALLBACK Dismiss(HWND window, LPARAM) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char name[16] = {};
    GetClassNameA(window, name, sizeof(name));
    if (process == GetCurrentProcessId() && std::string(name) == "#32770")
      PostMessageA(window, WM_COMMAND, IDOK, 0);
    return TRUE;
  }
  std::atomic<bool> stop_{false};
  std::thread thread_;
};
#endif

// The observer of the command, with the time at which the work ended (before
// its closing message).
class TimedProgress final : public ProgressObserver {
 public:
  explicit TimedProgress(std::chrono::milliseconds delay) : inner_(0, "Importing", delay) {}
  void Advance(std::size_t done, uint64_t position, uint64_t total) override {
    const Clock::time_point start = Clock::now();
    inner_.Advance(done, position, total);
    inside_ += Clock::now() - start;
    shown_ = shown_ || inner_.Shown();
  }
  bool Cancelled() const override { return inner_.Cancelled(); }
  void Finished() override {
    end_ = Clock::now();
    walksBefore_ = testhost::TestHost::Instance().ContactListWalks();
    walkTimeBefore_ = testhost::TestHost::Instance().ContactListWalkTime().count();
    inner_.Finished();
  }
  std::size_t WalksBefore() const { return walksBefore_; }
  double WalkSecondsBefore() const { return walkTimeBefore_; }
  double Seconds() const { return std::chrono::duration<double>(end_ - start_).count(); }
  // Spent in the observer: the clock, and opening, updating and pumping the window.
  double InsideSeconds() const { return std::chrono::duration<double>(inside_).count(); }
  bool WasShown() const { return shown_; }

 private:
  ProgressShown inner_;
  Clock::time_point start_ = Clock::now();
  Clock::time_point end_;
  Clock::duration inside_{};
  bool shown_ = false;
  std::size_t walksBefore_ = 0;
  double walkTimeBefore_ = 0;
};

struct ImportTime {
  double seconds = 1e30;  // the import, and the list's walks after it
  double insideSeconds = 0;
  std::size_t walksDuring = 0;
  std::size_t walksAfter = 0;
};

// Lets the contact list catch up, as the messenger's loop does once the
// command returns: its timers expire within 500 ms.
void LetTheListCatchUp() {
#ifdef _WIN32
  const Clock::time_point until = Clock::now() + std::chrono::milliseconds(700);
  while (Clock::now() < until) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
#endif
}

ImportTime TimeImport(std::size_t records, std::chrono::milliseconds delay, bool wantShown) {
  auto& host = testhost::TestHost::Instance();
  StartPlugin(host);
  TimedProgress progress(delay);
  ImportFile(kFile, "Kestrin Users", progress);
  if (host.ContactCount() != records) Fail("the import did not create every record");
  if (progress.WasShown() != wantShown) Fail("the window was not as asked");
  LetTheListCatchUp();
  Unload();
  const std::size_t walks = host.ContactListWalks();
  const double walkSecondsAfter = host.ContactListWalkTime().count() - progress.WalkSecondsBefore();
  return {progress.Seconds() + walkSecondsAfter, progress.InsideSeconds(), progress.WalksBefore(),
          walks - progress.WalksBefore()};
}

struct Comparison {
  ImportTime off;
  ImportTime on;
};

Comparison Compare(std::size_t records, int rounds) {
  WriteUsers(records);
  constexpr auto kNever = std::chrono::milliseconds(std::numeric_limits<int>::max());
  Comparison best;
  for (int round = 0; round < rounds; ++round) {
    const ImportTime withoutWindow = TimeImport(records, kNever, false);
    if (withoutWindow.seconds < best.off.seconds) best.off = withoutWindow;
    const ImportTime withWindow = TimeImport(records, std::chrono::milliseconds(0), true);
    if (withWindow.seconds < best.on.seconds) best.on = withWindow;
  }
  const auto& [off, on] = best;
  std::printf(
      "%zu records: progress window off %.3f s, on from the start %.3f s; on/off %.4f (%+.2f %%)\n"
      "  contact-list walks during/after the import: off %zu/%zu, on %zu/%zu\n"
      "  time inside the observer: off %.1f ms (%.2f %%), on %.1f ms (%.2f %%)\n",
      records, off.seconds, on.seconds, on.seconds / off.seconds,
      (on.seconds / off.seconds - 1) * 100, off.walksDuring, off.walksAfter, on.walksDuring,
      on.walksAfter, off.insideSeconds * 1e3, off.insideSeconds / off.seconds * 100,
      on.insideSeconds * 1e3, on.insideSeconds / on.seconds * 100);
  std::fflush(stdout);  // a long run under Wine shows each size as it ends
  return best;
}

#ifndef _WIN32
void PrintCallsPerRecord(std::size_t records, bool online) {
  auto& host = testhost::TestHost::Instance();
  StartPlugin(host);
  if (online) host.CallService("mKestrinUser/SetStatus", ID_STATUS_ONLINE, 0);
  host.ClearWrites();
  const auto before = host.CallCounts();
  testhost::QueueFileDialogAnswer(std::string(kFile));
  host.CallService("mKestrinUser/Import", 0, 0);
  if (host.ContactCount() != records) Fail("the import did not create every record");
  auto after = host.CallCounts();
  std::size_t total = 0;
  std::string detail;
  for (auto& [service, count] : after) {
    const auto was = before.find(service);
    count -= was == before.end() ? 0 : was->second;
    if (service == "mKestrinUser/Import" || count == 0) continue;
    total += count;
    char line[128];
    std::snprintf(line, sizeof(line), "    %-28s %6.2f\n", service.c_str(),
                  static_cast<double>(count) / static_cast<double>(records));
    detail += line;
  }
  std::printf("%s: %.2f host calls per imported record\n%s", online ? "online" : "offline",
              static_cast<double>(total) / static_cast<double>(records), detail.c_str());
  if (!online) {
    std::printf("  writes of the first record, in order:");
    const ContactHandle first = host.Contacts().back();
    for (const testhost::SettingWrite& write : host.Writes())
      if (write.contact == first)
        std::printf(" %s/%s", write.module.c_str(), write.setting.c_str());
    std::printf("\n");
  }
  Unload();
}
#endif

}  // namespace

int main(int argc, char** argv) {
  const std::size_t records = bench::SizeArgument(argc, argv, 1, 5000);
  int rounds = 3;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--no-list") == 0) ListShown = false;
    if (std::strcmp(argv[i], "--once") == 0) rounds = 1;
  }
#ifdef _WIN32
  const BoxDismisser dismisser;
  std::printf("contact list %s\n", ListShown ? "shown" : "off (--no-list)");
#else
  WriteUsers(records);
  PrintCallsPerRecord(records, false);
  PrintCallsPerRecord(records, true);
#endif
  const Comparison once = Compare(records, rounds);
  const Comparison twice = Compare(2 * records, rounds);
  std::printf("T(2N)/T(N): window off %.2f, on %.2f\n", twice.off.seconds / once.off.seconds,
              twice.on.seconds / once.on.seconds);
  std::remove(kFile);
  return 0;
}
