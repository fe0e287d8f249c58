#include "wine_support.h"

#include <cstdlib>
#include <vector>

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

void PumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

}  // namespace

std::string SourceDir() { return Env("KESTRIN_SOURCE_DIR"); }
std::string BuildDir() { return Env("KESTRIN_BUILD_DIR"); }

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start > timeoutMs) return condition();
    PumpMessages();
    Sleep(5);  // a poll interval, not a wait for an outcome
  }
}

std::string WindowText(HWND window) {
  const int length = GetWindowTextLengthA(window);
  std::vector<char> text(static_cast<size_t>(length) + 2, '\0');
  GetWindowTextA(window, text.data(), length + 1);
  return text.data();
}

std::string ClassNameOf(HWND window) {
  char name[256] = {};
  GetClassNameA(window, name, sizeof(name));
  return name;
}

LRESULT SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  constexpr UINT kTimeoutMs = 5000;
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kTimeoutMs, &result))
    return 0;
  return static_cast<LRESULT>(result);
}

std::string TextOf(HWND window) {
  const auto length = static_cast<int>(SendWithTimeout(window, WM_GETTEXTLENGTH, 0, 0));
  std::string text(static_cast<size_t>(length) + 1, '\0');
  const auto copied = static_cast<int>(
      SendWithTimeout(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data())));
  text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
  return text;
}

std::wstring WideTextOf(HWND window) {
  constexpr UINT kTimeoutMs = 5000;
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kTimeoutMs, &length))
    return std::wstring();
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                      SMTO_ABORTIFHUNG, kTimeoutMs, &copied);
  text.resize(static_cast<size_t>(copied));
  return text;
}

PictureDC::PictureDC(int width, int height, WORD bitCount) : dc_(CreateCompatibleDC(nullptr)) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = bitCount;
  info.bmiHeader.biCompression = BI_RGB;
  bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
  if (dc_ != nullptr && bitmap_ != nullptr) previous_ = SelectObject(dc_, bitmap_);
}

PictureDC::~PictureDC() {
  if (previous_ != nullptr) SelectObject(dc_, previous_);
  if (bitmap_ != nullptr) DeleteObject(bitmap_);
  if (dc_ != nullptr) DeleteDC(dc_);
}

namespace {

struct WindowQuery {
  const char* className;
  const char* title;
  HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter) {
  auto* query = reinterpret_cast<WindowQuery*>(parameter);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
  if (query->className != nullptr && ClassNameOf(window) != query->className) return TRUE;
  if (query->title != nullptr && WindowText(window) != query->title) return TRUE;
  query->found = window;
  return FALSE;
}

}  // namespace

HWND FindTopWindow(const char* className, const char* title) {
  WindowQuery query{className, title, nullptr};
  EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&query));
  return query.found;
}

HWND WaitForTopWindow(const char* className, const char* title, DWORD timeoutMs) {
  HWND found = nullptr;
  WaitFor([&] { return (found = FindTopWindow(className, title)) != nullptr; }, timeoutMs);
  return found;
}

UiThread::UiThread(std::function<void()> body) : thread_(std::move(body)) {}

UiThread::~UiThread() { Join(); }

void UiThread::Join() {
  if (thread_.joinable()) thread_.join();
}

void PluginTest::SetUp() {
  host.Reset();
  if (loadInSetUp) LoadPlugin();
}

void PluginTest::LoadPlugin() {
  // The library must come fresh for every test: its process-wide values are
  // set when it is loaded.
  ASSERT_EQ(GetModuleHandleA("mKestrinUser.dll"), nullptr) << "a previous test left it loaded";
  std::string error;
  ASSERT_TRUE(plugin.Open(testhost::PluginPath(), error)) << error;
  ASSERT_TRUE(plugin.Start(host.Link())) << "MirandaPluginInfo or Load failed";
}

void PluginTest::FireModulesLoaded() { host.FireEvent("Miranda/System/ModulesLoaded", 0, 0); }

intptr_t PluginTest::Call(const char* service, WParam wParam, LParam lParam) {
  return host.CallService(service, wParam, lParam);
}

void PluginTest::TearDown() {
  if (plugin.Module() == nullptr) return;
  EXPECT_EQ(plugin.Stop(), 0);
  plugin.Close();
  // Acknowledgement workers hold the library until their last instruction.
  EXPECT_TRUE(WaitFor([] { return GetModuleHandleA("mKestrinUser.dll") == nullptr; }, 10000))
      << "the library stayed loaded";
  host.Reset();
}

std::string PicturePath(const char* name) {
  std::string folder = BuildDir();
  if (folder.empty()) {
    folder = testhost::PluginPath();
    folder.erase(folder.find_last_of("\\/"));
  } else if (folder[0] == '/') {
    folder = "Z:" + folder;  // the Unix root
  }
  folder += "/screenshots";
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder + "/" + name;
}
