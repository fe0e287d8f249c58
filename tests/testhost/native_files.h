// Native stand-ins of the file dialogs and exchange files (dialogs.h,
// files.h): dialogs answer from a script and record what they were asked;
// files are real POSIX files, with failures that tests can inject.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "shell/dialogs.h"

namespace testhost {

// The answer of the next file dialog: a file name chosen under the filter
// entry `filter` (from 0), or std::nullopt for a cancelled dialog. A dialog
// with no answer queued is cancelled.
void QueueFileDialogAnswer(std::optional<std::string> answer, std::size_t filter = 0);
std::vector<shell::FileDialogRequest> FileDialogRequests();
// Runs inside every file dialog, as the host's windows do while a real
// dialog is open.
void SetFileDialogHook(std::function<void()> hook);
// Makes the next file dialog throw std::bad_alloc, as when memory runs out.
void ThrowAtNextFileDialog();

enum class FileOperation { Open, Read, Create, Write, Close, Replace };
// Makes the `nth` call of `operation` from now on (1 = the next one) fail with `reason`.
void FailFileOperation(FileOperation operation, std::size_t nth = 1,
                       const std::string& reason = "Injected failure");

// Forgets queued answers, recorded requests and pending failures.
void ResetNativeFiles();

// A new folder under the system's temporary folder, removed with its
// content when the object goes; its path is at least `pathLength` long.
class TempFolder {
 public:
  explicit TempFolder(std::size_t pathLength = 0);
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  // Names of the entries in the folder, sorted.
  std::vector<std::string> Entries() const;

 private:
  std::string path_;
};

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);

}  // namespace testhost
