// The Add / Edit window of a Kestrin user: a fixed-size top-level window of
// the plug-in's own class, built from the control kit, with its own message
// loop inside the host's service call.
#include "editor/editor_window.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/globals.h"
#include "host/m_globaldefs.h"
#include "records/INetAuxU.h"
#include "records/KestrinUserU.h"
#include "records/StoredText.h"
#include "shell/sVCLU.h"
#include "shell/shell.h"
#include "shell/win32_module.h"
#include "shell/win32_text.h"

namespace {

constexpr int kWindowWidth = 251;
constexpr int kWindowHeight = 404;
// Where the window opens when its stored title bar is on no screen; the primary
// screen always shows it, since that screen's top-left corner is (0, 0).
constexpr int kDefaultLeft = 271;
constexpr int kDefaultTop = 210;
// Where the window opens: the stored place, else where it was last, else the default.
int32_t editorLeft = kDefaultLeft;
int32_t editorTop = kDefaultTop;
// A title bar without system menu or close box, and a frame that cannot be
// resized.
constexpr DWORD kWindowStyle = WS_POPUP | WS_CLIPSIBLINGS | WS_CAPTION;

// Every row of the window: labels 16 pixels above their fields, rows 48 apart.
constexpr int kColumnLeft = 8;
constexpr int kColumnWidth = 229;
constexpr int kLabelHeight = 13;
constexpr int kFieldHeight = 21;
constexpr int kListHeight = 140;  // with its drop-down part
constexpr int kButtonTop = 347;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;

constexpr const char* kLeftSetting = "UserAdd/Left";
constexpr const char* kTopSetting = "UserAdd/Top";
constexpr const char* kNoAddress = "0.0.0.0";

// The window and its 18 controls, from creation to destruction.
struct Editor {
  ContactHandle contact = 0;  // the edited Kestrin user; 0 while a new one is added
  HWND window = nullptr;
  std::vector<std::unique_ptr<TsVCLWinControl>> controls;  // in creation order
  // Not owned: the controls among the above that the editor reads and writes.
  TsVCLEdit* fullName = nullptr;
  TsVCLEdit* nick = nullptr;
  TsVCLComboBox* contactType = nullptr;
  TsVCLEdit* mobile = nullptr;
  TsVCLEdit* email = nullptr;
  TsVCLEdit* homepage = nullptr;
  TsVCLEdit* address = nullptr;
  TsVCLButton* ok = nullptr;
  TsVCLButton* close = nullptr;
  // In Edit mode, the full name as the window loaded it and the stored names
  // it was joined from.
  std::string loadedFullName;
  FullNameParts loadedNames;
  HWND lastFocus = nullptr;  // the control that gets the focus back on activation
  bool closing = false;      // WM_CLOSE or destruction under way
  bool windowGone = false;   // WM_DESTROY seen: the loop ends
  bool hostQuit = false;     // the loop met the host's quit message
  WPARAM hostExitCode = 0;
};

// Not owned: the open editor; one at a time, on the user-interface thread.
Editor* CurrentEditor = nullptr;

// --- Building and loading ---------------------------------------------------

template <typename Control>
Control* AddControl(Editor& editor, int left, int top, int width, int height) {
  std::unique_ptr<Control> control = Create<Control>(editor.window);
  control->Left = left;
  control->Top = top;
  control->Width = width;
  control->Height = height;
  Control* placed = control.get();
  editor.controls.push_back(std::move(control));
  return placed;
}

void AddLabel(Editor& editor, int top, const char* text) {
  auto* label = AddControl<TsVCLLabel>(editor, kColumnLeft, top, kColumnWidth, kLabelHeight);
  label->SetText(Translated(text));
  label->Show();
}

TsVCLEdit* AddField(Editor& editor, int top, const char* text = nullptr) {
  auto* field = AddControl<TsVCLEdit>(editor, kColumnLeft, top, kColumnWidth, kFieldHeight);
  if (text != nullptr) field->SetText(text);
  field->Show();
  return field;
}

void AddLine(Editor& editor, int top, DWORD kind) {
  auto* line = AddControl<TsVCLLine>(editor, kColumnLeft, top, kColumnWidth, 1);
  line->Kind = kind;
  line->Show();
}

TsVCLButton* AddButton(Editor& editor, int left, const char* text) {
  auto* button = AddControl<TsVCLButton>(editor, left, kButtonTop, kButtonWidth, kButtonHeight);
  button->SetText(Translated(text));
  button->Show();
  return button;
}

void LoadContact(Editor& editor, ContactHandle contact) {
  const ContactDetails details = ReadContactDetails(contact);
  editor.loadedNames = {details.first, details.last};
  editor.fullName->SetText(JoinFullName(details.first, details.last));
  // As the field holds it, to be compared with what OK finds there.
  editor.loadedFullName = editor.fullName->GetText();
  editor.nick->SetText(details.nick);
  // A type the list does not know leaves it without a selection.
  const int32_t type = details.contactType;
  editor.contactType->SetItemIndex(type >= 0 && type < kContactTypeCount ? type : -1);
  editor.mobile->SetText(details.mobile);
  editor.email->SetText(details.email);
  editor.homepage->SetText(details.homepage);
  if (details.address != 0) editor.address->SetText(ReverseDotted(AddrToDotted(details.address)));
}

void BuildEditorControls(Editor& editor) {
  int top = 8;
  AddLabel(editor, top, N_("&Full Name"));
  editor.fullName = AddField(editor, top + 16);
  top += 48;
  AddLabel(editor, top, N_("&Nick Name"));
  editor.nick = AddField(editor, top + 16);
  top += 48;
  AddLabel(editor, top, N_("Contact &Type"));
  editor.contactType =
      AddControl<TsVCLComboBox>(editor, kColumnLeft, top + 16, kColumnWidth, kListHeight);
  editor.contactType->Show();
  top += 48;
  AddLabel(editor, top, N_("Cellular &Phone"));
  editor.mobile = AddField(editor, top + 16);
  top += 48;
  AddLabel(editor, top, N_("&E-mail"));
  editor.email = AddField(editor, top + 16);
  top += 48;
  AddLabel(editor, top, N_("&Home Page"));
  editor.homepage = AddField(editor, top + 16);
  top += 48;
  AddLabel(editor, top, N_("&IP"));
  editor.address = AddField(editor, top + 16, kNoAddress);
  // An etched separator: a white line under a black one.
  AddLine(editor, 340, SS_WHITERECT);
  AddLine(editor, 339, SS_BLACKRECT);
  editor.ok = AddButton(editor, 36, N_("&OK"));
  editor.close = AddButton(editor, 132, N_("Close"));

  for (const char* caption : kContactTypeCaptions) editor.contactType->AddItem(Translated(caption));
  // A new user keeps the texts the fields were made with.
  if (editor.contact == 0)
    editor.contactType->SetItemIndex(0);
  else
    LoadContact(editor, editor.contact);

  // The caret at the start of the full name, nothing selected.
  SetFocus(editor.fullName->Handle);
  SendMessageW(editor.fullName->Handle, EM_SETSEL, 0, 0);
}

// The objects go once their windows are gone; each takes its font with it.
void ReleaseEditorControls(Editor& editor) {
  editor.fullName = editor.nick = editor.mobile = editor.email = editor.homepage = editor.address =
      nullptr;
  editor.contactType = nullptr;
  editor.ok = editor.close = nullptr;
  editor.controls.clear();
}

// --- Saving and closing -----------------------------------------------------

void StorePositionAndClose(Editor& editor) {
  RECT place;
  if (GetWindowRect(editor.window, &place)) {
    // The low 16 bits; they are read back as signed numbers.
    WriteSettingWord(0, kModule, kLeftSetting, static_cast<uint16_t>(place.left & 0xFFFF));
    WriteSettingWord(0, kModule, kTopSetting, static_cast<uint16_t>(place.top & 0xFFFF));
  }
  SendMessageW(editor.window, WM_CLOSE, 0, 0);
}

void ShowBlankNameMessage(Editor& editor) {
  const std::string text = Translated(kBlankFullNameText);
  const std::string caption = Translated(kBlankFullNameCaption);
  MessageBoxW(editor.window, Widen(text).c_str(), Widen(caption).c_str(), MB_OK | MB_ICONERROR);
  // The box's loop dispatches every message of the thread: the window may
  // have been closed or hidden meanwhile, and its controls released with it.
  if (editor.closing || editor.fullName == nullptr || !IsWindow(editor.window)) return;
  // Back to the field that needs a name, its text selected for typing anew.
  editor.lastFocus = editor.fullName->Handle;
  SetFocus(editor.lastFocus);
}

// The split cannot tell "Mary Ann" / "Smith" from "Mary" / "Ann Smith": a
// full name left as it was loaded keeps the stored names.
FullNameParts NamesToStore(const Editor& editor, const std::string& fullName) {
  if (editor.contact != 0 && fullName == editor.loadedFullName) return editor.loadedNames;
  return SplitFullName(fullName);
}

void SaveEditor(Editor& editor) {
  const std::string fullName = editor.fullName->GetText();
  if (IsBlank(fullName)) {
    ShowBlankNameMessage(editor);
    return;
  }
  const FullNameParts parts = NamesToStore(editor, fullName);
  if (IsBlank(editor.nick->GetText()))
    editor.nick->SetText(NicknameFor(editor.nick->GetText(), fullName));

  // Every field is read before the host is called: a hook of the host may
  // pump messages, and the window may be gone when the call returns.
  ContactDetails details;
  details.nick = editor.nick->GetText();
  details.first = parts.first;
  details.last = parts.last;
  details.contactType = editor.contactType->GetItemIndex();
  details.email = editor.email->GetText();
  details.homepage = editor.homepage->GetText();
  details.mobile = editor.mobile->GetText();
  details.address = DottedToAddr(ReverseDotted(editor.address->GetText()));

  ContactHandle contact = editor.contact;
  if (contact == 0) {
    contact = CreateContactEntry(fullName);
    if (contact == 0) return;  // the host made no contact: the window stays open
    AssignUserId(contact);
  }
  WriteContactDetails(contact, details);
  StorePositionAndClose(editor);
}

// --- Window procedure -------------------------------------------------------

LRESULT OnCreate(Editor& editor) {
  // A failure while building refuses the window; its controls go with it.
  return GuardedHandler(
      [&editor] {
        BuildEditorControls(editor);
        return 0;
      },
      -1);
}

void OnDestroy(Editor& editor) {
  editor.closing = true;
  editor.windowGone = true;
  // Wakes the loop when the window was destroyed outside its dispatch.
  PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
}

void OnShowWindow(Editor& editor, bool shown) {
  // Hidden: the kit's Escape, or anyone else hiding the window, closes it.
  if (!shown && !editor.closing) StorePositionAndClose(editor);
}

// As in a dialog box, the control that had the focus gets it back when the
// window is activated again; by default the window itself would take it, and
// the keyboard would reach no field.
LRESULT OnActivate(Editor& editor, WPARAM wParam, LPARAM lParam) {
  const bool active = LOWORD(wParam) != WA_INACTIVE;
  if (!active) {
    const HWND focus = GetFocus();
    if (focus != nullptr && IsChild(editor.window, focus)) editor.lastFocus = focus;
  }
  const LRESULT result = DefWindowProcW(editor.window, WM_ACTIVATE, wParam, lParam);
  const bool minimized = HIWORD(wParam) != 0;
  if (active && !minimized && editor.lastFocus != nullptr &&
      IsChild(editor.window, editor.lastFocus))
    SetFocus(editor.lastFocus);
  return result;
}

bool OnCommand(Editor& editor, HWND control) {
  if (control == nullptr) return false;
  if (editor.ok != nullptr && control == editor.ok->Handle) {
    SaveEditor(editor);
    return true;
  }
  if (editor.close != nullptr && control == editor.close->Handle) {
    StorePositionAndClose(editor);
    return true;
  }
  return false;
}

LRESULT CALLBACK EditorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Editor* editor = CurrentEditor;
  if (editor == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  if (editor->window == nullptr) editor->window = window;
  if (editor->window != window) return DefWindowProcW(window, message, wParam, lParam);

  // No exception may leave for the system: a failing handler does nothing.
  bool handled = true;
  const LRESULT result = GuardedHandler([&]() -> intptr_t {
    switch (message) {
      case WM_CREATE: return OnCreate(*editor);
      case WM_DESTROY: OnDestroy(*editor); return 0;
      case WM_NCDESTROY: ReleaseEditorControls(*editor); break;
      case WM_CLOSE: editor->closing = true; break;
      case WM_SHOWWINDOW: OnShowWindow(*editor, wParam != 0); return 0;
      case WM_ACTIVATE: return OnActivate(*editor, wParam, lParam);
      case WM_CHAR:
        if (wParam == VK_ESCAPE) {
          StorePositionAndClose(*editor);
          return 0;
        }
        break;
      case WM_COMMAND:
        if (OnCommand(*editor, reinterpret_cast<HWND>(lParam))) return 0;
        break;
      default: break;
    }
    handled = false;
    return 0;
  });
  return handled ? result : DefWindowProcW(window, message, wParam, lParam);
}

// --- Opening and the loop ---------------------------------------------------

// Whether some of the title bar of a window at (left, top) is on a screen:
// the window has no system menu, and only its title bar can move it.
bool CaptionBarIsOnAScreen(int left, int top) {
  RECT frame{0, 0, 0, 0};
  AdjustWindowRectEx(&frame, kWindowStyle, FALSE, 0);
  const int captionBottom = top - frame.top;  // where the client area begins
  const RECT captionBar{left, captionBottom - GetSystemMetrics(SM_CYCAPTION), left + kWindowWidth,
                        captionBottom};
  return MonitorFromRect(&captionBar, MONITOR_DEFAULTTONULL) != nullptr;
}

// The stored place as written: the low 16 bits of each coordinate, signed, so
// that a window closed left of or above the screen edge comes back there. A
// place whose title bar is on no screen falls back to the default.
void ReadStoredPosition() {
  editorLeft = static_cast<int16_t>(
      GetSettingWord(0, kModule, kLeftSetting, static_cast<uint16_t>(editorLeft)));
  editorTop = static_cast<int16_t>(
      GetSettingWord(0, kModule, kTopSetting, static_cast<uint16_t>(editorTop)));
  if (!CaptionBarIsOnAScreen(editorLeft, editorTop)) {
    editorLeft = kDefaultLeft;
    editorTop = kDefaultTop;
  }
}

// Registers the editor's window class for one opening and removes it again,
// so that no class of the plug-in outlives the library.
class EditorWindowClass {
 public:
  explicit EditorWindowClass(const std::string& name) : name_(Widen(name)) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(WNDCLASSEXW);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = EditorWindowProc;
    windowClass.hInstance = PluginModule();
    // Shared icons: nothing to release. A missing icon leaves the default.
    windowClass.hIcon = LoadIconA(PluginModule(), shell::kKestrinUsersIcon);
    windowClass.hIconSm = windowClass.hIcon;
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_MENU + 1));
    windowClass.lpszClassName = name_.c_str();
    // A class left by an earlier opening is used as it is.
    registered_ = RegisterClassExW(&windowClass) != 0;
  }
  ~EditorWindowClass() {
    if (registered_) UnregisterClassW(name_.c_str(), PluginModule());
  }
  EditorWindowClass(const EditorWindowClass&) = delete;
  EditorWindowClass& operator=(const EditorWindowClass&) = delete;

 private:
  std::wstring name_;
  bool registered_ = false;
};

// Makes `editor` the open editor for the life of this object.
class CurrentEditorScope {
 public:
  explicit CurrentEditorScope(Editor& editor) { CurrentEditor = &editor; }
  ~CurrentEditorScope() { CurrentEditor = nullptr; }
  CurrentEditorScope(const CurrentEditorScope&) = delete;
  CurrentEditorScope& operator=(const CurrentEditorScope&) = delete;
};

// A quit message of the host: the window closes without saving, and the quit
// is handed on once the loop has ended.
void CloseForHostQuit(Editor& editor, WPARAM exitCode) {
  editor.hostQuit = true;
  editor.hostExitCode = exitCode;
  editor.closing = true;
  DestroyWindow(editor.window);
}

void RunMessageLoop(Editor& editor) {
  MSG message;
  while (!editor.windowGone) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == -1) break;
    if (got == 0) {
      CloseForHostQuit(editor, message.wParam);
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  // The wake-up of OnDestroy is the loop's own; the host never sees it.
  while (PeekMessageW(&message, reinterpret_cast<HWND>(-1), WM_NULL, WM_NULL, PM_REMOVE)) {
  }
}

void RunEditor(ContactHandle contact, const std::string& untranslatedCaption) {
  ReadStoredPosition();
  const std::string caption = Translated(untranslatedCaption.c_str());
  const EditorWindowClass windowClass(caption);
  Editor editor;
  editor.contact = contact;
  const CurrentEditorScope current(editor);

  const std::wstring title = Widen(caption);
  const HWND window =
      CreateWindowExW(0, title.c_str(), title.c_str(), kWindowStyle, editorLeft, editorTop,
                      kWindowWidth, kWindowHeight, nullptr, nullptr, PluginModule(), nullptr);
  if (window != nullptr) {
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    RunMessageLoop(editor);
    // Only a failing GetMessageW leaves the window standing here.
    if (!editor.windowGone && IsWindow(window)) {
      editor.closing = true;
      DestroyWindow(window);
    }
  }
  ReleaseEditorControls(editor);
  if (editor.hostQuit) PostQuitMessage(static_cast<int>(editor.hostExitCode));
}

}  // namespace

void RunEditorWindow(ContactHandle contact, const std::string& caption) {
  // One window at a time, even if EditorOpen was cleared under an open one.
  // An exception goes on to the command, which tells the user.
  if (CurrentEditor == nullptr) RunEditor(contact, caption);
}
