// Win32 implementation of the file dialogs (dialogs.h).
#include <windows.h>
// commdlg.h needs the types of windows.h.
#include <commdlg.h>

#include "shell/dialogs.h"
#include "shell/win32_text.h"

static_assert(shell::kDialogHideReadOnly == OFN_HIDEREADONLY, "OFN_HIDEREADONLY");
static_assert(shell::kDialogOverwritePrompt == OFN_OVERWRITEPROMPT, "OFN_OVERWRITEPROMPT");
static_assert(shell::kDialogPathMustExist == OFN_PATHMUSTEXIST, "OFN_PATHMUSTEXIST");
static_assert(shell::kDialogFileMustExist == OFN_FILEMUSTEXIST, "OFN_FILEMUSTEXIST");

namespace shell {

std::optional<std::string> AskFileName(const FileDialogRequest& request) {
  // Description, NUL, pattern, NUL and the closing NUL.
  std::wstring filter = Widen(request.filterDescription);
  filter += L'\0';
  filter += Widen(request.filterPattern);
  filter += L'\0';
  filter += L'\0';
  const std::wstring title = Widen(request.title);
  const std::wstring extension = Widen(request.defaultExtension);
  wchar_t fileName[kFileNameRoom] = {};

  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = nullptr;
  dialog.lpstrFilter = filter.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = fileName;
  dialog.nMaxFile = static_cast<DWORD>(kFileNameRoom);
  dialog.lpstrTitle = title.c_str();
  dialog.lpstrDefExt = extension.c_str();
  dialog.Flags = request.flags;
  const BOOL chosen =
      request.kind == FileDialogKind::Open ? GetOpenFileNameW(&dialog) : GetSaveFileNameW(&dialog);
  if (!chosen) return std::nullopt;
  return Narrow(fileName, lstrlenW(fileName));
}

}  // namespace shell
