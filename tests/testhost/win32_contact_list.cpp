// The contact list's window (contact_list.h).
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <utility>

#include "testhost/contact_list.h"

namespace testhost {

namespace {

constexpr const wchar_t* kClassName = L"TestHostContactList";
constexpr UINT kChangedMessage = WM_APP + 1;
constexpr UINT_PTR kResortTimer = 1;
constexpr UINT_PTR kRebuildTimer = 2;
constexpr UINT_PTR kSortTimer = 3;

LRESULT CALLBACK ContactListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

class Win32ContactList final : public ContactListWindow {
 public:
  explicit Win32ContactList(std::function<void()> walk) : walk_(std::move(walk)) {
    static const ATOM registered = [] {
      WNDCLASSEXW windowClass{};
      windowClass.cbSize = sizeof(windowClass);
      windowClass.lpfnWndProc = ContactListProc;
      windowClass.hInstance = GetModuleHandleW(nullptr);
      windowClass.lpszClassName = kClassName;
      return RegisterClassExW(&windowClass);
    }();
    if (registered == 0) return;
    window_ = CreateWindowExW(0, kClassName, L"Contact list", WS_OVERLAPPEDWINDOW, 0, 0, 200, 400,
                              nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (window_ != nullptr)
      SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }

  ~Win32ContactList() override {
    if (window_ == nullptr) return;
    // Whatever is still queued for it finds no object any more.
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    if (GetCurrentThreadId() == thread_)
      DestroyWindow(window_);
    else
      PostMessageW(window_, WM_CLOSE, 0, 0);
  }

  Win32ContactList(const Win32ContactList&) = delete;
  Win32ContactList& operator=(const Win32ContactList&) = delete;

  bool Opened() const { return window_ != nullptr; }

  void Changed(std::size_t contacts) override {
    if (GetCurrentThreadId() == thread_) {
      const auto resort = static_cast<UINT>(std::min<std::size_t>(200, 10 + contacts / 50));
      SetTimer(window_, kResortTimer, resort, nullptr);
      SetTimer(window_, kRebuildTimer, 50, nullptr);
      SetTimer(window_, kSortTimer, 500, nullptr);
    }
    if (!posted_.exchange(true) && !PostMessageW(window_, kChangedMessage, 0, 0)) posted_ = false;
  }

  LRESULT Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case kChangedMessage:
        posted_ = false;
        walk_();
        return 0;
      case WM_TIMER:  // each timer fires once per arming
        KillTimer(window, wParam);
        walk_();
        return 0;
      default: return DefWindowProcW(window, message, wParam, lParam);
    }
  }

 private:
  std::function<void()> walk_;
  const DWORD thread_ = GetCurrentThreadId();
  HWND window_ = nullptr;
  std::atomic<bool> posted_{false};
};

LRESULT CALLBACK ContactListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<Win32ContactList*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  return self->Handle(window, message, wParam, lParam);
}

}  // namespace

std::unique_ptr<ContactListWindow> OpenContactListWindow(std::function<void()> walk) {
  auto window = std::make_unique<Win32ContactList>(std::move(walk));
  if (!window->Opened()) return nullptr;
  return window;
}

}  // namespace testhost
