#include "shell/sVCLU.h"

#include "shell/win32_module.h"
#include "shell/win32_text.h"

namespace {

// Window styles of the native controls.
constexpr DWORD kLabelStyle = WS_CHILD | WS_VISIBLE;
constexpr DWORD kEditExStyle = WS_EX_CLIENTEDGE;
constexpr DWORD kEditStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOVSCROLL | ES_AUTOHSCROLL;
constexpr DWORD kButtonExStyle = WS_EX_NOPARENTNOTIFY;
constexpr DWORD kButtonStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP;
// The bits 0x0C beside the drop-down list type have no name; the list has
// always been created with them.
constexpr DWORD kUnnamedComboBits = 0x0C;
constexpr DWORD kComboStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | CBS_HASSTRINGS |
                              CBS_AUTOHSCROLL | CBS_DROPDOWNLIST | kUnnamedComboBits;
static_assert(kComboStyle == 0x5001024F, "the drop-down list's style");

// The screen's device context, released when it goes out of scope.
class ScreenDC {
 public:
  ScreenDC() : dc_(GetDC(nullptr)) {}
  ~ScreenDC() {
    if (dc_ != nullptr) ReleaseDC(nullptr, dc_);
  }
  ScreenDC(const ScreenDC&) = delete;
  ScreenDC& operator=(const ScreenDC&) = delete;
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

}  // namespace

int ScreenPixelsPerInch() {
  // Read on first use rather than when the library is loaded: the loader lock
  // is held then, and a plug-in loaded without a display must still load.
  static const int pixelsPerInch = [] {
    const ScreenDC screen;
    const int value = screen.get() != nullptr ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
    return value > 0 ? value : 96;
  }();
  return pixelsPerInch;
}

void OwnedFont::reset(HFONT font) {
  if (font_ != nullptr && font_ != font) DeleteObject(font_);
  font_ = font;
}

// --- TsVCLWinControl --------------------------------------------------------

TsVCLWinControl::TsVCLWinControl(HWND parent) : ParentHandle(parent) { SetFontSize(8); }

TsVCLWinControl::~TsVCLWinControl() {
  DetachFromWindow();
  // FontHandle deletes the font after the window has let go of it.
}

void TsVCLWinControl::DetachFromWindow() {
  if (Handle == nullptr || !IsWindow(Handle)) return;
  if (GetWindowLongPtrW(Handle, GWLP_USERDATA) == reinterpret_cast<LONG_PTR>(this))
    SetWindowLongPtrW(Handle, GWLP_USERDATA, 0);
  if (OldWindowProc != nullptr &&
      GetWindowLongPtrW(Handle, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&ControlWindowProc))
    SetWindowLongPtrW(Handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(OldWindowProc));
  if (FontHandle.get() != nullptr &&
      reinterpret_cast<HFONT>(SendMessageW(Handle, WM_GETFONT, 0, 0)) == FontHandle.get())
    SendMessageW(Handle, WM_SETFONT, 0, FALSE);
}

std::string TsVCLWinControl::GetText() { return Caption; }

void TsVCLWinControl::SetText(const std::string& text) {
  Caption = text;
  if (Handle != nullptr) SetWindowTextW(Handle, Widen(Caption).c_str());
}

void TsVCLWinControl::SetFontSize(int points) {
  FontHeight = -MulDiv(points, ScreenPixelsPerInch(), 72);
  if (Handle == nullptr) {
    FontHandle.reset();
    return;
  }
  // The window takes the new font before the old one is deleted.
  const HFONT font = MakeFont();
  SendMessageW(Handle, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  FontHandle.reset(font);
}

void TsVCLWinControl::Show() {
  if (Handle == nullptr) CreateWnd();
  if (Handle != nullptr) ShowWindow(Handle, SW_SHOW);
}

void TsVCLWinControl::SetEnabled(bool enabled) {
  if (enabled == Enabled) return;
  if (Handle != nullptr) EnableWindow(Handle, enabled ? TRUE : FALSE);
  Enabled = enabled;
}

HFONT TsVCLWinControl::MakeFont() const {
  LOGFONTW font{};
  font.lfHeight = FontHeight;
  font.lfWeight = FW_NORMAL;
  lstrcpynW(font.lfFaceName, Widen(FontName).c_str(), LF_FACESIZE);
  return CreateFontIndirectW(&font);
}

void TsVCLWinControl::CreateWindowHandle(const wchar_t* className, DWORD exStyle, DWORD style) {
  // A control disabled before it has a window is created disabled.
  const DWORD disabled = Enabled ? 0 : WS_DISABLED;
  Handle = CreateWindowExW(exStyle, className, Widen(Caption).c_str(), style | disabled, Left, Top,
                           Width, Height, ParentHandle, nullptr, PluginModule(), nullptr);
  if (Handle == nullptr) return;
  if (FontHandle.get() == nullptr) FontHandle.reset(MakeFont());
  SendMessageW(Handle, WM_SETFONT, reinterpret_cast<WPARAM>(FontHandle.get()), FALSE);
  SetWindowLongPtrW(Handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  if ((style & WS_TABSTOP) != 0)
    OldWindowProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(Handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ControlWindowProc)));
}

LRESULT CALLBACK TsVCLWinControl::ControlWindowProc(HWND window, UINT message, WPARAM wParam,
                                                    LPARAM lParam) {
  auto* control = reinterpret_cast<TsVCLWinControl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (control == nullptr || control->Handle != window) {
    // No object any more: the window's own class procedure takes over.
    const auto classProc = reinterpret_cast<WNDPROC>(GetClassLongPtrW(window, GCLP_WNDPROC));
    return CallWindowProcW(classProc, window, message, wParam, lParam);
  }
  switch (message) {
    case WM_KEYDOWN: return control->OnKeyDown(wParam, lParam);
    case WM_CHAR: return control->OnChar(wParam, lParam);
    case WM_SETFOCUS: return control->OnSetFocus(wParam, lParam);
    default: return control->PassOn(message, wParam, lParam);
  }
}

LRESULT TsVCLWinControl::OnKeyDown(WPARAM key, LPARAM lParam) {
  // An open list closes on the key itself; the character that follows is
  // the list's too, and must not close the window as well.
  if (key == VK_ESCAPE) escapeClosedList_ = ListIsDroppedDown();
  return PassOn(WM_KEYDOWN, key, lParam);
}

LRESULT TsVCLWinControl::OnChar(WPARAM character, LPARAM lParam) {
  if (character == VK_ESCAPE && escapeClosedList_) {
    escapeClosedList_ = false;
    return 0;
  }
  if (character == VK_TAB) {
    const BOOL previous = GetKeyState(VK_SHIFT) < 0 ? TRUE : FALSE;
    SetFocus(GetNextDlgTabItem(ParentHandle, Handle, previous));
    return 0;
  }
  if (character == VK_ESCAPE &&
      (GetWindowLongPtrW(ParentHandle, GWL_STYLE) & static_cast<LONG_PTR>(WS_VISIBLE)) != 0) {
    // Hiding the parent may close it and release this object: nothing of the
    // object is touched afterwards.
    ShowWindow(ParentHandle, SW_HIDE);
    return 0;
  }
  return PassOn(WM_CHAR, character, lParam);
}

LRESULT TsVCLWinControl::OnSetFocus(WPARAM lostFocus, LPARAM lParam) {
  SendMessageW(Handle, EM_SETSEL, 0, -1);
  return PassOn(WM_SETFOCUS, lostFocus, lParam);
}

LRESULT TsVCLWinControl::PassOn(UINT message, WPARAM wParam, LPARAM lParam) {
  // The arguments are read before the call; the object may be gone after it.
  return CallWindowProcW(OldWindowProc, Handle, message, wParam, lParam);
}

// --- Concrete controls ------------------------------------------------------

TsVCLLabel::TsVCLLabel(HWND parent) : TsVCLWinControl(parent) { Height = 16; }

void TsVCLLabel::CreateWnd() { CreateWindowHandle(L"STATIC", 0, kLabelStyle); }

TsVCLLine::TsVCLLine(HWND parent) : TsVCLWinControl(parent) { Height = 16; }

void TsVCLLine::CreateWnd() {
  const bool rectangle = Kind == SS_BLACKRECT || Kind == SS_GRAYRECT || Kind == SS_WHITERECT;
  CreateWindowHandle(L"STATIC", 0, kLabelStyle | (rectangle ? Kind : 0));
}

TsVCLEdit::TsVCLEdit(HWND parent) : TsVCLWinControl(parent) { Height = 21; }

std::string TsVCLEdit::GetText() {
  if (Handle == nullptr) return Caption;
  // The whole text: the fields set no length limit.
  const int length = GetWindowTextLengthW(Handle);
  if (length <= 0) return std::string();
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(Handle, text.data(), length + 1);
  return Narrow(text.data(), copied);
}

void TsVCLEdit::CreateWnd() {
  CreateWindowHandle(L"EDIT", kEditExStyle, kEditStyle | (Password ? ES_PASSWORD : 0));
}

TsVCLButton::TsVCLButton(HWND parent) : TsVCLWinControl(parent) {
  Width = 75;
  Height = 25;
}

void TsVCLButton::CreateWnd() { CreateWindowHandle(L"BUTTON", kButtonExStyle, kButtonStyle); }

TsVCLComboBox::TsVCLComboBox(HWND parent) : TsVCLWinControl(parent) {}

void TsVCLComboBox::CreateWnd() { CreateWindowHandle(L"COMBOBOX", 0, kComboStyle); }

int TsVCLComboBox::AddItem(const std::string& text) {
  if (Handle == nullptr) return CB_ERR;
  const std::wstring item = Widen(text);
  return static_cast<int>(
      SendMessageW(Handle, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str())));
}

int TsVCLComboBox::GetItemIndex() const {
  if (Handle == nullptr) return CB_ERR;
  return static_cast<int>(SendMessageW(Handle, CB_GETCURSEL, 0, 0));
}

bool TsVCLComboBox::ListIsDroppedDown() const {
  return Handle != nullptr && SendMessageW(Handle, CB_GETDROPPEDSTATE, 0, 0) != 0;
}

void TsVCLComboBox::SetItemIndex(int index) {
  if (Handle != nullptr) SendMessageW(Handle, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}
