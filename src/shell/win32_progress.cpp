// Win32 implementation of the progress window (progress.h).
#include <windows.h>

#include <string>

#include "shell/progress.h"
#include "shell/win32_text.h"

namespace {

constexpr const wchar_t* kClassName = L"mKestrinUserProgress";
constexpr int kStatusId = 100;
constexpr int kClientWidth = 320;
constexpr int kClientHeight = 96;
constexpr int kMargin = 12;
constexpr int kLineHeight = 16;
constexpr int kBarTop = kMargin + kLineHeight + 8;
constexpr int kBarHeight = 14;
constexpr int kButtonWidth = 88;
constexpr int kButtonHeight = 24;
constexpr DWORD kRedrawMs = 250;
constexpr int kPaintsPerPump = 16;

LRESULT CALLBACK ProgressWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The module that holds the window procedure: the plug-in's DLL, or the
// program it is linked into.
HINSTANCE CodeModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&ProgressWindowProc), &module);
  return module;
}

class Win32ProgressWindow final : public shell::ProgressWindow {
 public:
  Win32ProgressWindow(HWND owner, const shell::ProgressTexts& texts);
  ~Win32ProgressWindow() override;
  Win32ProgressWindow(const Win32ProgressWindow&) = delete;
  Win32ProgressWindow& operator=(const Win32ProgressWindow&) = delete;

  bool Opened() const { return window_ != nullptr; }
  void Show(const std::string& status, int permille) override;
  bool CancelPressed() const override { return cancelled_; }

  LRESULT Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  void OnPaint();
  void PumpMessages();
  RECT BarRect() const;

  HINSTANCE module_ = CodeModule();
  ATOM class_ = 0;
  HWND owner_;  // not owned; disabled while this window lives
  bool ownerDisabled_ = false;
  HWND window_ = nullptr;
  HWND status_ = nullptr;
  std::string shownStatus_;
  int permille_ = 0;
  bool drawn_ = false;
  DWORD drawnAt_ = 0;
  bool cancelled_ = false;
};

Win32ProgressWindow::Win32ProgressWindow(HWND owner, const shell::ProgressTexts& texts)
    : owner_(owner != nullptr && IsWindow(owner) ? owner : nullptr) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = ProgressWindowProc;
  windowClass.hInstance = module_;
  windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kClassName;
  class_ = RegisterClassExW(&windowClass);
  if (class_ == 0) return;

  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
  const DWORD exStyle = WS_EX_DLGMODALFRAME;
  RECT frame{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  // Centred over the owner, or over the screen's work area.
  RECT over{};
  if (owner_ == nullptr || !GetWindowRect(owner_, &over))
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &over, 0);
  const int left = over.left + (over.right - over.left - width) / 2;
  const int top = over.top + (over.bottom - over.top - height) / 2;
  window_ = CreateWindowExW(exStyle, kClassName, Widen(texts.title).c_str(), style, left, top,
                            width, height, owner_, nullptr, module_, this);
  if (window_ == nullptr) return;

  const auto font = reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT));  // shared
  status_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX,
                            kMargin, kMargin, kClientWidth - 2 * kMargin, kLineHeight, window_,
                            reinterpret_cast<HMENU>(kStatusId), module_, nullptr);
  const HWND cancel = CreateWindowExW(
      0, L"BUTTON", Widen(texts.cancel).c_str(),
      WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, (kClientWidth - kButtonWidth) / 2,
      kClientHeight - kMargin - kButtonHeight, kButtonWidth, kButtonHeight, window_,
      reinterpret_cast<HMENU>(IDCANCEL), module_, nullptr);
  SendMessageW(status_, WM_SETFONT, font, FALSE);
  SendMessageW(cancel, WM_SETFONT, font, FALSE);

  if (owner_ != nullptr) {
    EnableWindow(owner_, FALSE);
    ownerDisabled_ = true;
  }
  ShowWindow(window_, SW_SHOWNORMAL);
  SetFocus(cancel);
  UpdateWindow(window_);
}

Win32ProgressWindow::~Win32ProgressWindow() {
  // The owner first, so that it takes the activation back when this window goes.
  if (ownerDisabled_) EnableWindow(owner_, TRUE);
  if (window_ != nullptr) DestroyWindow(window_);
  if (class_ != 0) UnregisterClassW(kClassName, module_);
}

void Win32ProgressWindow::Show(const std::string& status, int permille) {
  // Drawing costs more than the work between two calls is worth: the figures
  // change a few times a second, the messages are handled at every call.
  const DWORD now = GetTickCount();
  if (!drawn_ || now - drawnAt_ >= kRedrawMs) {
    drawn_ = true;
    drawnAt_ = now;
    if (status != shownStatus_) {
      shownStatus_ = status;
      SetWindowTextW(status_, Widen(status).c_str());
    }
    if (permille != permille_) {
      permille_ = permille;
      const RECT bar = BarRect();
      InvalidateRect(window_, &bar, FALSE);
    }
  }
  PumpMessages();
}

void Win32ProgressWindow::PumpMessages() {
  MSG message;
  // Meant for the loop that runs the thread: handed back to it, and the work stops.
  if (PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    PostQuitMessage(static_cast<int>(message.wParam));
    cancelled_ = true;
    return;
  }
  // Only this window's messages and the input addressed to it (the filter
  // takes its children too). The host's windows answer every new contact with
  // posted messages and timers that walk its whole list: handled at every
  // pump they make the work quadratic, left queued they run once, when the
  // work is over.
  while (PeekMessageW(&message, window_, 0, 0, PM_REMOVE)) {
    // Tab, Enter, Space and Escape work on the window as in a dialog.
    if (IsDialogMessageW(window_, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  // The thread's other windows are painted, the owner above all: a paint
  // costs no walk. Bounded, in case a window never validates itself.
  for (int i = 0;
       i < kPaintsPerPump && PeekMessageW(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE); ++i)
    DispatchMessageW(&message);
}

RECT Win32ProgressWindow::BarRect() const {
  return RECT{kMargin, kBarTop, kClientWidth - kMargin, kBarTop + kBarHeight};
}

void Win32ProgressWindow::OnPaint() {
  PAINTSTRUCT paint;
  const HDC dc = BeginPaint(window_, &paint);
  RECT bar = BarRect();
  DrawEdge(dc, &bar, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
  RECT filled = bar;
  filled.right = bar.left + static_cast<LONG>((bar.right - bar.left) * permille_ / 1000);
  RECT rest = bar;
  rest.left = filled.right;
  FillRect(dc, &filled, GetSysColorBrush(COLOR_HIGHLIGHT));
  FillRect(dc, &rest, GetSysColorBrush(COLOR_WINDOW));
  EndPaint(window_, &paint);
}

LRESULT Win32ProgressWindow::Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL) cancelled_ = true;
      return 0;
    case WM_CLOSE:  // the caption's close button: the same as Cancel
      cancelled_ = true;
      return 0;
    case WM_PAINT:
      if (window_ == nullptr) break;  // not created yet
      OnPaint();
      return 0;
    default: break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK ProgressWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self =
        static_cast<Win32ProgressWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<Win32ProgressWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  // Messages before WM_NCCREATE and during the window's end have no object to go to.
  if (self == nullptr || message == WM_NCDESTROY)
    return DefWindowProcW(window, message, wParam, lParam);
  return self->Handle(window, message, wParam, lParam);
}

}  // namespace

namespace shell {

HostHandle CommandWindow() { return reinterpret_cast<HostHandle>(GetActiveWindow()); }

std::unique_ptr<ProgressWindow> OpenProgressWindow(HostHandle owner, const ProgressTexts& texts) {
  auto window = std::make_unique<Win32ProgressWindow>(reinterpret_cast<HWND>(owner), texts);
  if (!window->Opened()) return nullptr;
  return window;
}

}  // namespace shell
