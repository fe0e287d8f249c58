// Driving the Import and Export commands of the real DLL: a helper thread
// answers the common file dialog and dismisses every message box that the
// command shows, while the test's main thread sits in the service call.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "wine_support.h"

// The file dialog as the driver found it.
struct FileDialogView {
  bool found = false;
  std::string title;
  std::vector<std::string> filters;  // items of the file-type list
  int selectedFilter = -1;
  bool readOnlyShown = true;  // the "open as read-only" check box
};

struct MessageBoxView {
  std::string caption;
  std::string text;
  bool iconShown = false;
};

// The plug-in's progress window as the driver saw it first.
struct ProgressView {
  bool seen = false;
  std::string title;
  std::string status;
  std::string cancel;  // the button's caption
  HWND owner = nullptr;
  bool ownerEnabled = true;
  bool ownerRepainted = false;  // an invalidated owner was painted while the work ran
};

// The import's question about Kestrin users already stored, as the driver saw it.
struct ChoiceView {
  bool seen = false;
  std::string caption;
  std::string text;
  std::vector<std::string> buttons;  // in the window's order
  bool ownerDisabled = false;
};

struct CommandRun {
  intptr_t result = -1;
  FileDialogView dialog;
  std::vector<MessageBoxView> boxes;
  ProgressView progress;
  ChoiceView choice;
};

inline constexpr const char* kProgressClass = "mKestrinUserProgress";
inline constexpr const char* kChoiceClass = "mKestrinUserChoice";

// What to do in the file dialog: choose the file-type entry `filter` (from
// 0), enter a name and press OK, or cancel. A name the dialog refuses keeps it
// open: `refusals` is then how many of its own message boxes to dismiss
// before cancelling it.
struct DialogAnswer {
  std::optional<std::string> fileName;
  int refusals = 0;
  int filter = 0;
  // Press the progress window's Cancel as soon as it shows.
  bool cancelProgress = false;
  // The key typed in the question window (Enter, Esc, a button's letter); 0:
  // the window must not show.
  WORD choiceKey = 0;
  // When set, a picture of the question window is saved there first.
  std::string choicePicture{};
  // The answer to a Yes/No box; other boxes are dismissed with OK.
  bool yes = false;
};

// Calls `service` on this thread and drives its dialog (titled `title`; null:
// the command shows none), its question and message boxes from a helper
// thread until the call returns.
CommandRun RunCommand(const std::function<intptr_t()>& call, const char* title,
                      const DialogAnswer& answer);

// A new folder under the temporary folder, removed with its files at the
// end; its path is at least `pathLength` long.
class WinTempFolder {
 public:
  explicit WinTempFolder(std::size_t pathLength = 0);
  ~WinTempFolder();
  WinTempFolder(const WinTempFolder&) = delete;
  WinTempFolder& operator=(const WinTempFolder&) = delete;

  std::string File(const std::string& name) const { return path_ + "\\" + name; }
  std::vector<std::string> Entries() const;  // sorted

 private:
  std::string path_;
};

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& bytes);

// Holds a file open without sharing, as another program may.
class HeldFile {
 public:
  explicit HeldFile(const std::string& path);
  ~HeldFile();
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
  bool Held() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};
