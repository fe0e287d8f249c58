// Files of the exchange commands: reading a chosen file, and writing a new one
// beside the chosen name that replaces it only once it is complete. Every
// failure answers false with the system's reason in words a user can read.
// The DLL implements this with Win32; the native test host with POSIX files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace shell {

// An open file for reading; the destructor closes it if Close was not called.
class ReadableFile {
 public:
  virtual ~ReadableFile() = default;
  // Reads at most `capacity` bytes; `count` is 0 only at the end of the file.
  virtual bool Read(char* buffer, std::size_t capacity, std::size_t& count,
                    std::string& reason) = 0;
  virtual bool Close(std::string& reason) = 0;
  // The file's size in bytes when it was opened; 0 when it cannot be told.
  virtual uint64_t Size() const = 0;
};

// An open file for writing; the destructor closes it if Close was not called.
class WritableFile {
 public:
  virtual ~WritableFile() = default;
  virtual bool Write(const char* data, std::size_t size, std::string& reason) = 0;
  virtual bool Close(std::string& reason) = 0;
};

// Opens an existing file for reading only; others may read it meanwhile.
std::unique_ptr<ReadableFile> OpenForReading(const std::string& path, std::string& reason);

// Creates a new, empty file under a name that the system makes up in the
// folder of `target` (`created` receives the name), for writing only; others
// may read it meanwhile. The system names files only in a folder of at most
// kSystemNamesFolderLimit characters.
std::unique_ptr<WritableFile> CreateBeside(const std::string& target, std::string& created,
                                           std::string& reason);
inline constexpr std::size_t kSystemNamesFolderLimit = 246;

// Creates the file `path`, which must not exist yet (`exists` tells when it
// did), for writing only; others may read it meanwhile.
std::unique_ptr<WritableFile> CreateNew(const std::string& path, bool& exists, std::string& reason);

// Moves `source` in place of `target`, replacing a file of that name.
bool MoveOver(const std::string& source, const std::string& target, std::string& reason);

// Removes a file; a failure is not reported (used to clean up after one).
void RemoveFile(const std::string& path);

}  // namespace shell
