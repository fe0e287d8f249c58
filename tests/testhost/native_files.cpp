#include "testhost/native_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>

#include "shell/files.h"

namespace testhost {
namespace {

struct Failure {
  std::size_t callsLeft;  // fails when this reaches 1
  std::string reason;
};

struct FilesState {
  std::mutex mutex;
  std::deque<std::optional<shell::FileChoice>> answers;
  std::vector<shell::FileDialogRequest> requests;
  std::multimap<FileOperation, Failure> failures;
  std::function<void()> dialogHook;
  bool dialogThrows = false;
};

FilesState& State() {
  static FilesState* state = new FilesState;  // lives as long as the process
  return *state;
}

// True, with `reason` set, when an injected failure is due for this call.
bool InjectedFailure(FileOperation operation, std::string& reason) {
  std::lock_guard<std::mutex> lock(State().mutex);
  auto range = State().failures.equal_range(operation);
  for (auto it = range.first; it != range.second; ++it) {
    if (--it->second.callsLeft == 0) {
      reason = it->second.reason;
      State().failures.erase(it);
      return true;
    }
  }
  return false;
}

std::string ErrnoReason() { return std::strerror(errno); }

class PosixReadableFile : public shell::ReadableFile {
 public:
  explicit PosixReadableFile(int fd) : fd_(fd) {}
  ~PosixReadableFile() override {
    if (fd_ >= 0) ::close(fd_);
  }
  bool Read(char* buffer, std::size_t capacity, std::size_t& count, std::string& reason) override {
    count = 0;
    if (InjectedFailure(FileOperation::Read, reason)) return false;
    ssize_t got;
    do {
      got = ::read(fd_, buffer, capacity);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
      reason = ErrnoReason();
      return false;
    }
    count = static_cast<std::size_t>(got);
    return true;
  }
  bool Close(std::string& reason) override { return CloseFd(fd_, reason); }
  uint64_t Size() const override {
    struct stat status {};
    if (fd_ < 0 || ::fstat(fd_, &status) != 0 || status.st_size < 0) return 0;
    return static_cast<uint64_t>(status.st_size);
  }

  static bool CloseFd(int& fd, std::string& reason) {
    const int closing = fd;
    fd = -1;
    if (InjectedFailure(FileOperation::Close, reason)) {
      ::close(closing);
      return false;
    }
    if (closing >= 0 && ::close(closing) != 0) {
      reason = ErrnoReason();
      return false;
    }
    return true;
  }

 private:
  int fd_;
};

class PosixWritableFile : public shell::WritableFile {
 public:
  explicit PosixWritableFile(int fd) : fd_(fd) {}
  ~PosixWritableFile() override {
    if (fd_ >= 0) ::close(fd_);
  }
  bool Write(const char* data, std::size_t size, std::string& reason) override {
    if (InjectedFailure(FileOperation::Write, reason)) return false;
    while (size != 0) {
      const ssize_t written = ::write(fd_, data, size);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        reason = ErrnoReason();
        return false;
      }
      data += written;
      size -= static_cast<std::size_t>(written);
    }
    return true;
  }
  bool Close(std::string& reason) override { return PosixReadableFile::CloseFd(fd_, reason); }

 private:
  int fd_;
};

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

void QueueFileDialogAnswer(std::optional<std::string> answer, std::size_t filter) {
  std::lock_guard<std::mutex> lock(State().mutex);
  if (answer) {
    State().answers.push_back(shell::FileChoice{std::move(*answer), filter});
  } else {
    State().answers.push_back(std::nullopt);
  }
}

std::vector<shell::FileDialogRequest> FileDialogRequests() {
  std::lock_guard<std::mutex> lock(State().mutex);
  return State().requests;
}

void ThrowAtNextFileDialog() {
  std::lock_guard<std::mutex> lock(State().mutex);
  State().dialogThrows = true;
}

void FailFileOperation(FileOperation operation, std::size_t nth, const std::string& reason) {
  std::lock_guard<std::mutex> lock(State().mutex);
  State().failures.insert({operation, Failure{std::max<std::size_t>(nth, 1), reason}});
}

void ResetNativeFiles() {
  std::lock_guard<std::mutex> lock(State().mutex);
  State().answers.clear();
  State().requests.clear();
  State().failures.clear();
  State().dialogHook = nullptr;
  State().dialogThrows = false;
}

void SetFileDialogHook(std::function<void()> hook) {
  std::lock_guard<std::mutex> lock(State().mutex);
  State().dialogHook = std::move(hook);
}

TempFolder::TempFolder(std::size_t pathLength) {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/kestrin-test-";
  if (pattern.size() + 6 < pathLength) pattern.append(pathLength - pattern.size() - 6, 'd');
  pattern += "XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp: " + ErrnoReason());
  path_ = pattern;
}

TempFolder::~TempFolder() {
  for (const std::string& entry : Entries()) {
    const std::string path = File(entry);
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
      // Tests make at most one level of folders.
      DIR* inner = ::opendir(path.c_str());
      while (inner != nullptr) {
        const dirent* item = ::readdir(inner);
        if (item == nullptr) break;
        const std::string name = item->d_name;
        if (name != "." && name != "..") ::unlink((path + "/" + name).c_str());
      }
      if (inner != nullptr) ::closedir(inner);
      ::rmdir(path.c_str());
    } else {
      ::unlink(path.c_str());
    }
  }
  ::rmdir(path_.c_str());
}

std::vector<std::string> TempFolder::Entries() const {
  std::vector<std::string> names;
  DIR* folder = ::opendir(path_.c_str());
  if (folder == nullptr) return names;
  while (const dirent* item = ::readdir(folder)) {
    const std::string name = item->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(folder);
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace testhost

namespace shell {

std::optional<FileChoice> AskFileName(const FileDialogRequest& request) {
  auto& state = testhost::State();
  std::function<void()> hook;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    state.requests.push_back(request);
    hook = state.dialogHook;
  }
  if (hook) hook();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (state.dialogThrows) {
    state.dialogThrows = false;
    throw std::bad_alloc();
  }
  if (state.answers.empty()) return std::nullopt;
  std::optional<FileChoice> answer = std::move(state.answers.front());
  state.answers.pop_front();
  return answer;
}

std::unique_ptr<ReadableFile> OpenForReading(const std::string& path, std::string& reason) {
  if (testhost::InjectedFailure(testhost::FileOperation::Open, reason)) return nullptr;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    reason = testhost::ErrnoReason();
    return nullptr;
  }
  return std::make_unique<testhost::PosixReadableFile>(fd);
}

std::unique_ptr<WritableFile> CreateBeside(const std::string& target, std::string& created,
                                           std::string& reason) {
  if (testhost::InjectedFailure(testhost::FileOperation::Create, reason)) return nullptr;
  // As the system's temporary names: none in a folder too long for them.
  if (testhost::FolderOf(target).size() > kSystemNamesFolderLimit) {
    reason = std::strerror(ENAMETOOLONG);
    return nullptr;
  }
  std::string name = testhost::FolderOf(target) + "/kesXXXXXX.tmp";
  const int fd = ::mkstemps(name.data(), 4);
  if (fd < 0) {
    reason = testhost::ErrnoReason();
    return nullptr;
  }
  created = name;
  return std::make_unique<testhost::PosixWritableFile>(fd);
}

std::unique_ptr<WritableFile> CreateNew(const std::string& path, bool& exists,
                                        std::string& reason) {
  exists = false;
  if (testhost::InjectedFailure(testhost::FileOperation::Create, reason)) return nullptr;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    exists = errno == EEXIST;
    reason = testhost::ErrnoReason();
    return nullptr;
  }
  return std::make_unique<testhost::PosixWritableFile>(fd);
}

bool MoveOver(const std::string& source, const std::string& target, std::string& reason) {
  if (testhost::InjectedFailure(testhost::FileOperation::Replace, reason)) return false;
  if (::rename(source.c_str(), target.c_str()) == 0) return true;
  reason = testhost::ErrnoReason();
  return false;
}

void RemoveFile(const std::string& path) { ::unlink(path.c_str()); }

}  // namespace shell
