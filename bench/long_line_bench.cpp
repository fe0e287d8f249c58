// A wrong file chosen for import: one line of a gigabyte, without a line
// break. The import must stop at the line limit with its message, and the
// process's peak memory must stay small (the 32-bit host has 2 GB at most).
//
//   long_line_bench [file] [bytes]   (defaults build/long-line.csv 1000000000)
//
// The file is written once and kept for later runs; it belongs to no commit.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "plugin/mKestrinUser.h"
#include "testhost/native_files.h"
#include "testhost/native_shell.h"
#include "testhost/test_host.h"

namespace {

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "long_line_bench: %s\n", what.c_str());
  std::exit(1);
}

void WriteLongLine(const std::string& path, std::size_t bytes) {
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && static_cast<std::size_t>(info.st_size) == bytes) return;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) Fail("cannot create " + path);
  const std::string block(1 << 20, 'x');
  for (std::size_t left = bytes; left != 0;) {
    const std::size_t size = left < block.size() ? left : block.size();
    if (::write(fd, block.data(), size) != static_cast<ssize_t>(size)) Fail("cannot write " + path);
    left -= size;
  }
  ::close(fd);
}

// The peak resident memory of this process, in KiB (VmHWM of /proc/self/status).
long PeakMemoryKiB() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmHWM:") {
      long kib = 0;
      status >> kib;
      return kib;
    }
    status.ignore(1 << 10, '\n');
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : "build/long-line.csv";
  const std::size_t bytes = bench::SizeArgument(argc, argv, 2, 1000000000);
  WriteLongLine(path, bytes);
  const long before = PeakMemoryKiB();

  testhost::TestHost& host = testhost::TestHost::Instance();
  host.Reset();
  Load(host.Link());
  host.FireEvent("Miranda/System/ModulesLoaded", 0, 0);
  testhost::QueueFileDialogAnswer(path);
  const auto start = std::chrono::steady_clock::now();
  host.CallService("mKestrinUser/Import", 0, 0);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  Unload();

  const std::vector<testhost::ShownMessage> shown = testhost::ShownMessages();
  if (shown.size() != 1) Fail("expected one message, got " + std::to_string(shown.size()));
  std::string text = shown[0].text;
  for (char& c : text)
    if (c == '\n') c = '|';
  const long peak = PeakMemoryKiB();
  std::printf("%zu bytes without a line break: import %.3f s, message \"%s\", contacts %zu\n",
              bytes, seconds, text.c_str(), host.ContactCount());
  std::printf("peak memory (VmHWM): %.1f MiB (%.1f MiB before the import)\n", peak / 1024.0,
              before / 1024.0);
  return peak < 64 * 1024 ? 0 : 2;
}
