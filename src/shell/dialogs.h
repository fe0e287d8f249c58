// The platform's open-file and save-file dialogs, asked for one file name.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace shell {

// Dialog flags, as the platform defines them.
inline constexpr unsigned kDialogHideReadOnly = 0x4;
inline constexpr unsigned kDialogOverwritePrompt = 0x2;
inline constexpr unsigned kDialogPathMustExist = 0x800;
inline constexpr unsigned kDialogFileMustExist = 0x1000;

enum class FileDialogKind { Open, Save };

// One entry of the dialog's file-type list.
struct FileFilter {
  std::string description;
  std::string pattern;
};

// One dialog without owner window, initial folder or custom filter, with its
// first filter entry selected, an empty file name of room for 260 characters
// (the closing NUL included), and the texts as given (already translated
// where they should be).
struct FileDialogRequest {
  FileDialogKind kind = FileDialogKind::Open;
  std::string title;
  std::vector<FileFilter> filters;
  std::string defaultExtension;
  unsigned flags = 0;
};

inline constexpr std::size_t kFileNameRoom = 260;

struct FileChoice {
  std::string path;
  std::size_t filter = 0;  // the filter entry in force when the user chose, from 0
};

// The chosen file; std::nullopt when the user cancelled or the dialog failed.
std::optional<FileChoice> AskFileName(const FileDialogRequest& request);

}  // namespace shell
