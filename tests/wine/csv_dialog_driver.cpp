#include "csv_dialog_driver.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "editor_driver.h"
#include "keyboard.h"

namespace {

constexpr int kFileNameCombo = 0x47c;  // cmb13
constexpr int kFileTypeCombo = 0x470;  // cmb1
constexpr int kReadOnlyBox = 0x410;    // chx1
constexpr int kMessageText = 0xFFFF;
constexpr DWORD kStepTimeout = 15000;

BOOL CALLBACK CollectDialog(HWND window, LPARAM parameter) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process == GetCurrentProcessId() && IsWindowVisible(window) &&
      ClassNameOf(window) == "#32770")
    reinterpret_cast<std::vector<HWND>*>(parameter)->push_back(window);
  return TRUE;
}

// Every visible dialog-class top-level window of this process.
std::vector<HWND> Dialogs() {
  std::vector<HWND> found;
  EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&found));
  return found;
}

HWND OtherDialog(HWND except) {
  for (HWND window : Dialogs())
    if (window != except) return window;
  return nullptr;
}

FileDialogView Inspect(HWND dialog) {
  FileDialogView view;
  view.found = true;
  view.title = WindowText(dialog);
  const HWND types = GetDlgItem(dialog, kFileTypeCombo);
  const auto count = static_cast<int>(SendWithTimeout(types, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    std::string item(static_cast<std::size_t>(SendWithTimeout(types, CB_GETLBTEXTLEN, i, 0)) + 1,
                     '\0');
    SendWithTimeout(types, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data()));
    item.resize(std::strlen(item.c_str()));
    view.filters.push_back(item);
  }
  view.selectedFilter = static_cast<int>(SendWithTimeout(types, CB_GETCURSEL, 0, 0));
  const HWND readOnly = GetDlgItem(dialog, kReadOnlyBox);
  view.readOnlyShown = readOnly != nullptr && IsWindowVisible(readOnly);
  return view;
}

MessageBoxView ReadBox(HWND box) {
  MessageBoxView view;
  view.caption = WindowText(box);
  view.text = TextOf(GetDlgItem(box, kMessageText));
  // The box's icon is the static control that holds one.
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if (ClassNameOf(child) == "Static" && SendWithTimeout(child, STM_GETICON, 0, 0) != 0 &&
        IsWindowVisible(child))
      view.iconShown = true;
  }
  return view;
}

// Presses the box's button `command` and waits until it is gone.
void Dismiss(HWND box, WPARAM command = IDOK) {
  PostMessageA(box, WM_COMMAND, command, 0);
  WaitFor([box] { return !IsWindow(box) || !IsWindowVisible(box); }, kStepTimeout);
}

// Reads the progress window, checks that its owner is disabled and still
// painted, and presses Cancel when asked to.
ProgressView InspectProgress(HWND window, bool cancel) {
  ProgressView view;
  view.seen = true;
  view.title = WindowText(window);
  view.status = TextOf(GetDlgItem(window, 100));
  const HWND button = GetDlgItem(window, IDCANCEL);
  view.cancel = TextOf(button);
  view.owner = GetWindow(window, GW_OWNER);
  if (view.owner != nullptr) {
    view.ownerEnabled = IsWindowEnabled(view.owner) != FALSE;
    InvalidateRect(view.owner, nullptr, FALSE);
    view.ownerRepainted =
        WaitFor([&] { return !IsWindow(window) || !GetUpdateRect(view.owner, nullptr, FALSE); },
                kStepTimeout) &&
        IsWindow(window);
  }
  if (cancel) PostMessageA(button, BM_CLICK, 0, 0);
  return view;
}

// Reads the question window, then answers it with `key` typed as a user does.
ChoiceView AnswerChoice(HWND window, WORD key, const std::string& picture) {
  ChoiceView view;
  view.seen = true;
  view.caption = WindowText(window);
  for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if (ClassNameOf(child) == "Static") view.text = TextOf(child);
    if (ClassNameOf(child) == "Button") view.buttons.push_back(TextOf(child));
  }
  const HWND owner = GetWindow(window, GW_OWNER);
  view.ownerDisabled = owner != nullptr && !IsWindowEnabled(owner);
  EXPECT_NE(key, 0) << "a question came that the test did not expect";
  WaitFor([window] { return GetForegroundWindow() == window; }, kStepTimeout);
  if (!picture.empty()) {
    EXPECT_TRUE(SaveWindowPicture(window, picture)) << picture;
  }
  keyboard::Press(key != 0 ? key : VK_ESCAPE);
  WaitFor([window] { return !IsWindow(window) || !IsWindowVisible(window); }, kStepTimeout);
  return view;
}

}  // namespace

CommandRun RunCommand(const std::function<intptr_t()>& call, const char* title,
                      const DialogAnswer& answer) {
  CommandRun run;
  std::atomic<bool> done{false};
  UiThread driver([&] {
    HWND dialog = nullptr;
    if (title != nullptr)
      WaitFor([&] { return done || (dialog = FindTopWindow("#32770", title)) != nullptr; },
              kStepTimeout);
    if (title == nullptr) {
      // A command without a file dialog.
    } else if (dialog != nullptr) {
      run.dialog = Inspect(dialog);
      if (answer.fileName) {
        if (answer.filter != 0) {
          // As a user's choice: select the entry and tell the dialog, as the list does.
          const HWND types = GetDlgItem(dialog, kFileTypeCombo);
          SendWithTimeout(types, CB_SETCURSEL, static_cast<WPARAM>(answer.filter), 0);
          for (const WORD notification : {CBN_SELCHANGE, CBN_SELENDOK})
            SendWithTimeout(dialog, WM_COMMAND, MAKEWPARAM(kFileTypeCombo, notification),
                            reinterpret_cast<LPARAM>(types));
        }
        SendWithTimeout(GetDlgItem(dialog, kFileNameCombo), WM_SETTEXT, 0,
                        reinterpret_cast<LPARAM>(answer.fileName->c_str()));
        PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
        for (int i = 0; i < answer.refusals; ++i) {
          HWND refusal = nullptr;
          WaitFor([&] { return (refusal = OtherDialog(dialog)) != nullptr; }, kStepTimeout);
          if (refusal == nullptr) break;
          run.boxes.push_back(ReadBox(refusal));
          Dismiss(refusal);
        }
        if (answer.refusals > 0) {
          EXPECT_TRUE(IsWindowVisible(dialog)) << "the dialog took the name it should refuse";
          Dismiss(dialog, IDCANCEL);
        }
      } else {
        Dismiss(dialog, IDCANCEL);
      }
    } else if (!done) {
      ADD_FAILURE() << "no dialog titled " << title;
    }
    // The question and the progress window, once, and every message box until
    // the command returns.
    while (!done) {
      HWND box = nullptr;
      HWND progress = nullptr;
      HWND choice = nullptr;
      const bool moved = WaitFor(
          [&] {
            if (!run.progress.seen) progress = FindTopWindow(kProgressClass, nullptr);
            if (!run.choice.seen) choice = FindTopWindow(kChoiceClass, nullptr);
            return done || progress != nullptr || choice != nullptr ||
                   (box = OtherDialog(dialog)) != nullptr;
          },
          kStepTimeout);
      if (choice != nullptr) {
        run.choice = AnswerChoice(choice, answer.choiceKey, answer.choicePicture);
      } else if (progress != nullptr) {
        run.progress = InspectProgress(progress, answer.cancelProgress);
      } else if (box != nullptr) {
        run.boxes.push_back(ReadBox(box));
        const bool yesNo = GetDlgItem(box, IDYES) != nullptr;
        Dismiss(box, !yesNo ? IDOK : answer.yes ? IDYES : IDNO);
      } else if (!moved) {
        // The command is stuck in a window of its own: end it rather than hang.
        ADD_FAILURE() << "the command did not end";
        for (HWND window : Dialogs()) Dismiss(window, IDCANCEL);
      }
    }
  });
  run.result = call();
  done = true;
  driver.Join();
  return run;
}

WinTempFolder::WinTempFolder(std::size_t pathLength) {
  static int counter = 0;
  char base[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, base);
  path_ = std::string(base) + "kestrin-csv-" + std::to_string(GetCurrentProcessId()) + "-" +
          std::to_string(++counter);
  if (path_.size() < pathLength) path_.append(pathLength - path_.size(), 'd');
  CreateDirectoryA(path_.c_str(), nullptr);
}

WinTempFolder::~WinTempFolder() {
  for (const std::string& name : Entries()) DeleteFileA(File(name).c_str());
  RemoveDirectoryA(path_.c_str());
}

std::vector<std::string> WinTempFolder::Entries() const {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  const HANDLE find = FindFirstFileA((path_ + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = data.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(find, &data));
  FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadWholeFile(const std::string& path) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<cannot open " + path + ">";
  std::string bytes;
  char chunk[4096];
  DWORD read = 0;
  while (ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read != 0)
    bytes.append(chunk, read);
  CloseHandle(file);
  return bytes;
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  EXPECT_EQ(written, bytes.size());
}

HeldFile::HeldFile(const std::string& path)
    : handle_(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr)) {}

HeldFile::~HeldFile() {
  if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
}
