// Driving the plug-in's editor window from a helper thread while the test's
// main thread runs the window's loop inside the "mKestrinUser/Add" or
// "mKestrinUser/Edit" service call. Messages to the window go with a timeout
// (SendWithTimeout), so a wedged window fails a test instead of hanging the
// suite.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "wine_support.h"

// The editor's 18 controls, in creation order.
enum EditorControl {
  kFullNameLabel,
  kFullName,
  kNickLabel,
  kNick,
  kTypeLabel,
  kContactType,
  kMobileLabel,
  kMobile,
  kEmailLabel,
  kEmail,
  kHomepageLabel,
  kHomepage,
  kAddressLabel,
  kAddress,
  kLowerLine,
  kUpperLine,
  kOk,
  kClose,
  kEditorControlCount
};

// How each control is created (the combo box's height includes its drop-down).
struct ControlLayout {
  const char* className;
  int left;
  int top;
  int width;
  int height;
  DWORD exStyle;
  DWORD style;
  const char* text;  // at creation, in Add mode
};
extern const ControlLayout kEditorLayout[kEditorControlCount];

constexpr int kEditorWidth = 251;
constexpr int kEditorHeight = 404;
constexpr const char* kAddCaption = "Add Kestrin User";
constexpr const char* kEditCaption = "Edit Kestrin User";

// An open editor window as the driver sees it.
struct EditorView {
  HWND window = nullptr;
  HWND controls[kEditorControlCount] = {};
  HWND operator[](EditorControl control) const { return controls[control]; }
};

// Waits until the editor titled `caption` is shown with the keyboard focus in
// its full-name field, and makes it the foreground window; the controls are
// told apart by their place.
EditorView WaitForEditor(DWORD uiThread, const char* caption, DWORD timeoutMs = 5000);
// The children of `window` by their client-area rectangles, in creation order.
std::vector<std::pair<HWND, RECT>> ChildPlaces(HWND window);

// The selection of an edit: first and one-past-last character.
std::pair<int, int> SelectionOf(HWND edit);
HWND FocusOf(DWORD thread);
bool WaitForFocus(DWORD thread, HWND expected, DWORD timeoutMs = 5000);
bool WaitForText(HWND window, const std::string& expected, DWORD timeoutMs = 5000);
bool WaitUntilGone(HWND window, DWORD timeoutMs = 5000);
// Top-level windows of `thread`, shown or not.
std::vector<HWND> ThreadWindows(DWORD thread);
// A message box owned by `owner`, once it is shown.
HWND WaitForMessageBox(HWND owner, DWORD timeoutMs = 5000);
// Makes `window` the foreground window, as a user's click on it would, when
// it does not become one by itself: under Xvfb without a window manager the X
// focus can fall to the root window as another window closes, and Wine then
// makes the desktop the foreground window.
bool BringToFront(HWND window, DWORD timeoutMs = 5000);
// Types `text` into `field` of the top-level `window` until `field` holds
// `expected`: when the X focus fell to the root window just as a message box
// closed, the keys reach the desktop and nothing of them the field, and the
// window is brought to front and the keys typed again.
bool TypeAfterAClosedBox(DWORD thread, HWND window, HWND field, const std::string& text,
                         const std::string& expected);

// Runs a driver body on a helper thread. Whatever the body leaves open when
// it ends (a failed assertion included) is closed, so that the main thread's
// service call always returns.
class EditorDriver {
 public:
  EditorDriver(DWORD uiThread, std::function<void()> body);
  ~EditorDriver();
  EditorDriver(const EditorDriver&) = delete;
  EditorDriver& operator=(const EditorDriver&) = delete;
  void Join();

 private:
  UiThread thread_;
};

// Saves a picture of `window` as it is on screen to a PNG file.
bool SaveWindowPicture(HWND window, const std::string& path);

// The plug-in loaded, its modules-loaded event still to come; the test's
// thread is the host's user-interface thread.
class EditorTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    uiThread = GetCurrentThreadId();
  }
  // Calls `service` on this thread while `drive` runs on a helper thread.
  intptr_t CallWhileDriving(const char* service, WParam wParam, std::function<void()> drive) {
    EditorDriver driver(uiThread, std::move(drive));
    const intptr_t result = Call(service, wParam);
    driver.Join();
    return result;
  }

  DWORD uiThread = 0;
};
