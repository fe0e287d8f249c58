// Support for the Wine suite: a fixture that loads the real DLL into the test
// host afresh for every test, and helpers to wait for windows and drive them
// from a second thread while the test's main thread sits in a modal call.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <thread>

#include "testhost/test_host.h"
#include "testhost/win32_plugin_library.h"

std::string SourceDir();  // KESTRIN_SOURCE_DIR
std::string BuildDir();   // KESTRIN_BUILD_DIR
// Where the picture tests put picture `name`: the build folder's screenshots
// folder (made when missing), for scripts/pictures.sh.
std::string PicturePath(const char* name);

// Polls `condition` (pumping this thread's messages) until it holds or the
// time is up.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = 5000);

// A visible top-level window of this process with the given class and title
// (either may be null to match any); null when none appears in time.
HWND FindTopWindow(const char* className, const char* title);
HWND WaitForTopWindow(const char* className, const char* title, DWORD timeoutMs = 5000);
std::string WindowText(HWND window);
std::string ClassNameOf(HWND window);

// SendMessageA with a time limit, so that a wedged window fails a test instead
// of hanging the suite; 0 when the window does not answer in time.
LRESULT SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The text of a control (or any window), asked for with WM_GETTEXT under a
// time limit; empty for a null window.
std::string TextOf(HWND window);
// The same as wide text: whatever the control holds, in any script.
std::wstring WideTextOf(HWND window);

// A memory device context with a top-down picture of `bitCount` bits per
// pixel selected into it; dc() is null when it could not be made.
class PictureDC {
 public:
  PictureDC(int width, int height, WORD bitCount);
  ~PictureDC();
  PictureDC(const PictureDC&) = delete;
  PictureDC& operator=(const PictureDC&) = delete;
  HDC dc() const { return previous_ != nullptr ? dc_ : nullptr; }
  void* bits() const { return bits_; }

 private:
  HDC dc_;
  HBITMAP bitmap_ = nullptr;
  void* bits_ = nullptr;
  HGDIOBJ previous_ = nullptr;
};

// Runs `body` on a thread of its own: the test's main thread may meanwhile
// block in a service that shows a modal window. Join() waits for the body;
// a failed gtest assertion inside it is reported as usual.
class UiThread {
 public:
  explicit UiThread(std::function<void()> body);
  ~UiThread();
  UiThread(const UiThread&) = delete;
  UiThread& operator=(const UiThread&) = delete;
  void Join();

 private:
  std::thread thread_;
};

class PluginTest : public ::testing::Test {
 protected:
  PluginTest() : host(testhost::TestHost::Instance()) {}
  void SetUp() override;
  void TearDown() override;

  // The whole start-up of the host: MirandaPluginInfo, Load.
  void LoadPlugin();
  void FireModulesLoaded();
  intptr_t Call(const char* service, WParam wParam = 0, LParam lParam = 0);

  testhost::TestHost& host;
  testhost::PluginLibrary plugin;
  // Set by a test that wants to call Load itself.
  bool loadInSetUp = true;
};
