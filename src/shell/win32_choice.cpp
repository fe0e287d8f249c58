// Win32 implementation of the question with a few buttons (choice.h): a
// small window of the plug-in's own class built from the control kit, modal
// over its owner, with its own message loop.
#include <windows.h>

#include <cwctype>
#include <memory>
#include <string>
#include <vector>

#include "shell/choice.h"
#include "shell/sVCLU.h"
#include "shell/win32_module.h"
#include "shell/win32_text.h"

namespace {

constexpr const wchar_t* kClassName = L"mKestrinUserChoice";
constexpr int kMargin = 12;
constexpr int kTextHeight = 32;
constexpr int kButtonWidth = 88;
constexpr int kButtonHeight = 25;
constexpr int kButtonGap = 8;
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME;

LRESULT CALLBACK ChoiceWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The letter after the first "&" of a caption, in upper case; 0 when none.
wchar_t AccessKey(const std::string& caption) {
  const std::wstring wide = Widen(caption);
  const std::size_t mark = wide.find(L'&');
  if (mark == std::wstring::npos || mark + 1 >= wide.size()) return 0;
  return static_cast<wchar_t>(std::towupper(wide[mark + 1]));
}

class ChoiceWindow {
 public:
  explicit ChoiceWindow(const shell::ChoiceRequest& request);
  ~ChoiceWindow();
  ChoiceWindow(const ChoiceWindow&) = delete;
  ChoiceWindow& operator=(const ChoiceWindow&) = delete;

  // The button chosen; the last one when the window could not be made.
  std::size_t Run();
  LRESULT Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  void Build();
  void Choose(std::size_t button);
  // Keys that answer at once: Enter, Esc and the buttons' access keys.
  bool TakeKey(const MSG& message);

  const shell::ChoiceRequest& request_;
  std::size_t last_;
  ATOM class_ = 0;
  HWND owner_;  // not owned; disabled while this window lives
  bool ownerDisabled_ = false;
  HWND window_ = nullptr;
  std::vector<std::unique_ptr<TsVCLWinControl>> controls_;  // the text, then the buttons
  std::vector<TsVCLButton*> buttons_;                       // not owned
  std::size_t chosen_;
  bool answered_ = false;
  bool quit_ = false;
  WPARAM quitCode_ = 0;
};

ChoiceWindow::ChoiceWindow(const shell::ChoiceRequest& request)
    : request_(request),
      last_(request.buttons.size() - 1),
      owner_(request.owner != 0 && IsWindow(reinterpret_cast<HWND>(request.owner))
                 ? reinterpret_cast<HWND>(request.owner)
                 : nullptr),
      chosen_(last_) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = ChoiceWindowProc;
  windowClass.hInstance = PluginModule();
  windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kClassName;
  class_ = RegisterClassExW(&windowClass);
  if (class_ == 0) return;

  const int count = static_cast<int>(request.buttons.size());
  const int clientWidth = 2 * kMargin + count * kButtonWidth + (count - 1) * kButtonGap;
  const int clientHeight = 3 * kMargin + kTextHeight + kButtonHeight;
  RECT frame{0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  // Centred over the owner, or over the screen's work area.
  RECT over{};
  if (owner_ == nullptr || !GetWindowRect(owner_, &over))
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &over, 0);
  window_ = CreateWindowExW(kExStyle, kClassName, Widen(request.caption).c_str(), kStyle,
                            over.left + (over.right - over.left - width) / 2,
                            over.top + (over.bottom - over.top - height) / 2, width, height, owner_,
                            nullptr, PluginModule(), this);
  if (window_ == nullptr) return;
  Build();
  if (owner_ != nullptr) {
    EnableWindow(owner_, FALSE);
    ownerDisabled_ = true;
  }
  ShowWindow(window_, SW_SHOWNORMAL);
  SetForegroundWindow(window_);
  if (!buttons_.empty() && buttons_[0]->Handle != nullptr) SetFocus(buttons_[0]->Handle);
  UpdateWindow(window_);
}

ChoiceWindow::~ChoiceWindow() {
  // The owner first, so that it takes the activation back when this window goes.
  if (ownerDisabled_) EnableWindow(owner_, TRUE);
  if (window_ != nullptr) DestroyWindow(window_);
  controls_.clear();
  if (class_ != 0) UnregisterClassW(kClassName, PluginModule());
  if (quit_) PostQuitMessage(static_cast<int>(quitCode_));
}

void ChoiceWindow::Build() {
  auto text = std::make_unique<TsVCLLabel>(window_);
  text->Left = kMargin;
  text->Top = kMargin;
  text->Width =
      static_cast<int>(request_.buttons.size()) * (kButtonWidth + kButtonGap) - kButtonGap;
  text->Height = kTextHeight;
  text->SetText(request_.text);
  text->Show();
  controls_.push_back(std::move(text));
  int left = kMargin;
  for (const std::string& caption : request_.buttons) {
    auto button = std::make_unique<TsVCLButton>(window_);
    button->Left = left;
    button->Top = 2 * kMargin + kTextHeight;
    button->Width = kButtonWidth;
    button->Height = kButtonHeight;
    button->SetText(caption);
    button->Show();
    left += kButtonWidth + kButtonGap;
    buttons_.push_back(button.get());
    controls_.push_back(std::move(button));
  }
  // The first button is the default: drawn so, and taken by Enter.
  if (!buttons_.empty() && buttons_[0]->Handle != nullptr)
    SendMessageW(buttons_[0]->Handle, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
}

void ChoiceWindow::Choose(std::size_t button) {
  if (answered_) return;
  answered_ = true;
  chosen_ = button;
}

bool ChoiceWindow::TakeKey(const MSG& message) {
  if (message.message != WM_KEYDOWN && message.message != WM_SYSKEYDOWN) return false;
  const auto key = static_cast<wchar_t>(message.wParam);
  if (key == VK_ESCAPE) {
    Choose(last_);
    return true;
  }
  if (key == VK_RETURN) {
    // The focused button, as in a dialog; the default one when none has the focus.
    const HWND focus = GetFocus();
    std::size_t button = 0;
    for (std::size_t i = 0; i < buttons_.size(); ++i)
      if (buttons_[i]->Handle == focus) button = i;
    Choose(button);
    return true;
  }
  if (key >= L'A' && key <= L'Z') {
    for (std::size_t i = 0; i < buttons_.size(); ++i)
      if (AccessKey(request_.buttons[i]) == key) {
        Choose(i);
        return true;
      }
  }
  return false;
}

std::size_t ChoiceWindow::Run() {
  if (window_ == nullptr) return last_;
  MSG message;
  while (!answered_) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == -1) break;
    if (got == 0) {
      // Meant for the loop that runs the thread: handed back to it once this window is gone.
      quit_ = true;
      quitCode_ = message.wParam;
      break;
    }
    if (IsChild(window_, message.hwnd) || message.hwnd == window_) {
      if (TakeKey(message)) continue;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return chosen_;
}

LRESULT ChoiceWindow::Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      for (std::size_t i = 0; i < buttons_.size(); ++i)
        if (buttons_[i]->Handle == reinterpret_cast<HWND>(lParam)) Choose(i);
      return 0;
    case WM_CLOSE: Choose(last_); return 0;  // the close box: the way out
    case WM_SHOWWINDOW:
      // The kit hides the window on Escape.
      if (wParam == FALSE) Choose(last_);
      return 0;
    default: break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK ChoiceWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self =
        static_cast<ChoiceWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<ChoiceWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr || message == WM_NCDESTROY)
    return DefWindowProcW(window, message, wParam, lParam);
  return self->Handle(window, message, wParam, lParam);
}

}  // namespace

namespace shell {

std::size_t AskChoice(const ChoiceRequest& request) {
  if (request.buttons.empty()) return 0;
  ChoiceWindow window(request);
  return window.Run();
}

}  // namespace shell
