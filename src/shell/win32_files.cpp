// Win32 implementation of the exchange files (files.h).
#include <windows.h>

#include "shell/files.h"
#include "shell/win32_text.h"

namespace shell {
namespace {

// The system's words for an error code, without the trailing line end.
std::string SystemReason(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  std::string reason;
  if (length != 0 && text != nullptr) reason = Narrow(text, static_cast<int>(length));
  if (text != nullptr) LocalFree(text);
  while (!reason.empty() && static_cast<unsigned char>(reason.back()) <= 32) reason.pop_back();
  if (reason.empty()) reason = "Error " + std::to_string(error) + ".";
  return reason;
}

// Closes the handle unless it was closed on purpose.
class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  ~FileHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  HANDLE Get() const { return handle_; }
  bool Close(std::string& reason) {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    if (handle == INVALID_HANDLE_VALUE || CloseHandle(handle)) return true;
    reason = SystemReason(GetLastError());
    return false;
  }

 private:
  HANDLE handle_;
};

class Win32ReadableFile : public ReadableFile {
 public:
  explicit Win32ReadableFile(HANDLE handle) : handle_(handle) {}
  bool Read(char* buffer, std::size_t capacity, std::size_t& count, std::string& reason) override {
    DWORD read = 0;
    const DWORD want = capacity > 0x40000000u ? 0x40000000u : static_cast<DWORD>(capacity);
    if (!ReadFile(handle_.Get(), buffer, want, &read, nullptr)) {
      reason = SystemReason(GetLastError());
      count = 0;
      return false;
    }
    count = read;
    return true;
  }
  bool Close(std::string& reason) override { return handle_.Close(reason); }
  uint64_t Size() const override {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handle_.Get(), &size) || size.QuadPart < 0) return 0;
    return static_cast<uint64_t>(size.QuadPart);
  }

 private:
  FileHandle handle_;
};

class Win32WritableFile : public WritableFile {
 public:
  explicit Win32WritableFile(HANDLE handle) : handle_(handle) {}
  bool Write(const char* data, std::size_t size, std::string& reason) override {
    while (size != 0) {
      const DWORD want = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
      DWORD written = 0;
      if (!WriteFile(handle_.Get(), data, want, &written, nullptr)) {
        reason = SystemReason(GetLastError());
        return false;
      }
      if (written == 0) {
        reason = SystemReason(ERROR_WRITE_FAULT);
        return false;
      }
      data += written;
      size -= written;
    }
    return true;
  }
  bool Close(std::string& reason) override { return handle_.Close(reason); }

 private:
  FileHandle handle_;
};

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("\\/");
  if (slash == std::string::npos) return ".";
  if (slash == 0 || path[slash - 1] == ':') return path.substr(0, slash + 1);
  return path.substr(0, slash);
}

}  // namespace

std::unique_ptr<ReadableFile> OpenForReading(const std::string& path, std::string& reason) {
  const HANDLE handle = CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    reason = SystemReason(GetLastError());
    return nullptr;
  }
  return std::make_unique<Win32ReadableFile>(handle);
}

std::unique_ptr<WritableFile> CreateBeside(const std::string& target, std::string& created,
                                           std::string& reason) {
  wchar_t name[MAX_PATH] = {};
  // Makes the file under a name of its own; opened again below for writing.
  if (GetTempFileNameW(Widen(FolderOf(target)).c_str(), L"kes", 0, name) == 0) {
    reason = SystemReason(GetLastError());
    return nullptr;
  }
  const HANDLE handle = CreateFileW(name, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    reason = SystemReason(GetLastError());
    DeleteFileW(name);
    return nullptr;
  }
  created = Narrow(name, lstrlenW(name));
  return std::make_unique<Win32WritableFile>(handle);
}

std::unique_ptr<WritableFile> CreateNew(const std::string& path, bool& exists,
                                        std::string& reason) {
  const HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    exists = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
    reason = SystemReason(error);
    return nullptr;
  }
  exists = false;
  return std::make_unique<Win32WritableFile>(handle);
}

bool MoveOver(const std::string& source, const std::string& target, std::string& reason) {
  if (MoveFileExW(Widen(source).c_str(), Widen(target).c_str(), MOVEFILE_REPLACE_EXISTING))
    return true;
  reason = SystemReason(GetLastError());
  return false;
}

void RemoveFile(const std::string& path) { DeleteFileW(Widen(path).c_str()); }

}  // namespace shell
