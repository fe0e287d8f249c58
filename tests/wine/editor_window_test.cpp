// The editor window itself: its geometry and controls, keyboard navigation,
// the remembered position, its loop inside the host's service call, and what
// opening and closing it leaves behind.
#include <atomic>
#include <set>
#include <string>
#include <vector>

#include "editor_driver.h"
#include "keyboard.h"

namespace {

void CloseWithEscape(const EditorView& editor) {
  keyboard::Escape();
  EXPECT_TRUE(WaitUntilGone(editor.window));
}

RECT WindowPlace(HWND window) {
  RECT place{};
  GetWindowRect(window, &place);
  return place;
}

const char* const kTypeCaptions[] = {"Unspecified", "Family", "Friends",
                                     "Business",    "VIP",    "Other"};

// The windows created on this thread while it lives, as CreateWindowExA was
// asked for them.
struct CreatedWindow {
  HWND window;
  HWND parent;
  std::string className;
  std::string text;
  DWORD exStyle;
  DWORD style;
  int x;
  int y;
  int width;
  int height;
};

std::vector<CreatedWindow>* CreatedWindows = nullptr;

LRESULT CALLBACK RecordCreation(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND && CreatedWindows != nullptr) {
    const CREATESTRUCTA& create = *reinterpret_cast<CBT_CREATEWNDA*>(lParam)->lpcs;
    auto text = [](LPCSTR name) {
      return IS_INTRESOURCE(name) || name == nullptr ? std::string() : std::string(name);
    };
    CreatedWindows->push_back(
        {reinterpret_cast<HWND>(wParam), create.hwndParent, text(create.lpszClass),
         text(create.lpszName), static_cast<DWORD>(create.dwExStyle),
         static_cast<DWORD>(create.style), create.x, create.y, create.cx, create.cy});
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

class CreationRecorder {
 public:
  explicit CreationRecorder(std::vector<CreatedWindow>& records)
      : hook_(SetWindowsHookExA(WH_CBT, RecordCreation, nullptr, GetCurrentThreadId())) {
    CreatedWindows = &records;
  }
  ~CreationRecorder() {
    CreatedWindows = nullptr;
    if (hook_ != nullptr) UnhookWindowsHookEx(hook_);
  }
  CreationRecorder(const CreationRecorder&) = delete;
  CreationRecorder& operator=(const CreationRecorder&) = delete;
  bool active() const { return hook_ != nullptr; }

 private:
  HHOOK hook_;
};

TEST_F(EditorTest, WindowAndControlsAreCreatedAsLaidOut) {
  FireModulesLoaded();
  std::vector<CreatedWindow> created;
  {
    const CreationRecorder recorder(created);
    ASSERT_TRUE(recorder.active());
    CallWhileDriving("mKestrinUser/Add", 0, [&] {
      const EditorView editor = WaitForEditor(uiThread, kAddCaption);
      ASSERT_NE(editor.window, nullptr);
      CloseWithEscape(editor);
    });
  }
  ASSERT_FALSE(created.empty());
  const CreatedWindow& window = created.front();
  EXPECT_EQ(window.className, kAddCaption);
  EXPECT_EQ(window.text, kAddCaption);
  EXPECT_EQ(window.parent, nullptr);
  // The system adds the raised edge to every window with a caption.
  EXPECT_EQ(window.exStyle & ~static_cast<DWORD>(WS_EX_WINDOWEDGE), 0u);
  EXPECT_EQ(window.style, 0x84C00000u);
  EXPECT_EQ(window.x, 271);
  EXPECT_EQ(window.y, 210);
  EXPECT_EQ(window.width, kEditorWidth);
  EXPECT_EQ(window.height, kEditorHeight);

  std::vector<CreatedWindow> controls;
  for (const CreatedWindow& record : created)
    if (record.parent == window.window) controls.push_back(record);
  ASSERT_EQ(controls.size(), static_cast<size_t>(kEditorControlCount));
  for (int i = 0; i < kEditorControlCount; ++i) {
    const ControlLayout& layout = kEditorLayout[i];
    const CreatedWindow& control = controls[i];
    SCOPED_TRACE("control " + std::to_string(i + 1));
    EXPECT_EQ(lstrcmpiA(control.className.c_str(), layout.className), 0) << control.className;
    EXPECT_EQ(control.text, layout.text);
    EXPECT_EQ(control.exStyle, layout.exStyle);
    EXPECT_EQ(control.style, layout.style);
    EXPECT_EQ(control.x, layout.left);
    EXPECT_EQ(control.y, layout.top);
    EXPECT_EQ(control.width, layout.width);
    EXPECT_EQ(control.height, layout.height);
  }
}

TEST_F(EditorTest, OpenWindowShowsItsPlaceControlsAndFonts) {
  FireModulesLoaded();
  CallWhileDriving("mKestrinUser/Add", 0, [&] {
    const EditorView editor = WaitForEditor(uiThread, kAddCaption);
    ASSERT_NE(editor.window, nullptr);
    const RECT place = WindowPlace(editor.window);
    EXPECT_EQ(place.left, 271);
    EXPECT_EQ(place.top, 210);
    EXPECT_EQ(place.right - place.left, kEditorWidth);
    EXPECT_EQ(place.bottom - place.top, kEditorHeight);
    EXPECT_EQ(GetClassLongPtrA(editor.window, GCLP_HBRBACKGROUND), COLOR_MENU + 1);
    EXPECT_EQ(reinterpret_cast<HICON>(GetClassLongPtrA(editor.window, GCLP_HICON)),
              LoadIconA(plugin.Module(), "KESTRINUSERS"));

    EXPECT_EQ(ChildPlaces(editor.window).size(), static_cast<size_t>(kEditorControlCount));
    for (int i = 0; i < kEditorControlCount; ++i) {
      SCOPED_TRACE("control " + std::to_string(i + 1));
      ASSERT_NE(editor.controls[i], nullptr);
      RECT control{};
      GetWindowRect(editor.controls[i], &control);
      EXPECT_EQ(control.right - control.left, kEditorLayout[i].width);
      // The closed list is as high as its font makes it.
      if (i != kContactType) {
        EXPECT_EQ(control.bottom - control.top, kEditorLayout[i].height);
      }
    }
    EXPECT_EQ(TextOf(editor[kAddress]), "0.0.0.0");
    EXPECT_EQ(SendMessageA(editor[kContactType], CB_GETCURSEL, 0, 0), 0);
    ASSERT_EQ(SendMessageA(editor[kContactType], CB_GETCOUNT, 0, 0), 6);
    for (int item = 0; item < 6; ++item) {
      char text[64] = {};
      SendMessageA(editor[kContactType], CB_GETLBTEXT, item, reinterpret_cast<LPARAM>(text));
      EXPECT_STREQ(text, kTypeCaptions[item]);
    }

    // Every control that shows text has a font of its own: 8 points of
    // "MS Sans Serif". (The separator lines draw no text and keep none.)
    std::set<HFONT> fonts;
    const HDC screen = GetDC(nullptr);
    const int height = -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(nullptr, screen);
    for (int i = 0; i < kEditorControlCount; ++i) {
      if (i == kLowerLine || i == kUpperLine) continue;
      const auto font = reinterpret_cast<HFONT>(SendMessageA(editor.controls[i], WM_GETFONT, 0, 0));
      LOGFONTA logical{};
      ASSERT_EQ(GetObjectA(font, sizeof(logical), &logical), static_cast<int>(sizeof(logical)))
          << "control " << i + 1;
      EXPECT_STREQ(logical.lfFaceName, "MS Sans Serif");
      EXPECT_EQ(logical.lfHeight, height);
      EXPECT_EQ(logical.lfWeight, FW_NORMAL);
      fonts.insert(font);
    }
    EXPECT_EQ(fonts.size(), static_cast<size_t>(kEditorControlCount - 2));
    CloseWithEscape(editor);
  });
}

TEST_F(EditorTest, EveryTextIsTranslated) {
  const char* const keys[] = {"Add Kestrin User", "&Full Name", "Contact &Type", "&OK", "Close",
                              "Unspecified",      "Other"};
  for (const char* key : keys) host.AddTranslation(key, std::string("T:") + key);
  FireModulesLoaded();
  CallWhileDriving("mKestrinUser/Add", 0, [&] {
    const HWND window = WaitForTopWindow("T:Add Kestrin User", "T:Add Kestrin User");
    ASSERT_NE(window, nullptr);
    EditorView editor;
    for (const auto& [child, place] : ChildPlaces(window))
      for (int i = 0; i < kEditorControlCount; ++i)
        if (place.left == kEditorLayout[i].left && place.top == kEditorLayout[i].top)
          editor.controls[i] = child;
    EXPECT_EQ(TextOf(editor[kFullNameLabel]), "T:&Full Name");
    EXPECT_EQ(TextOf(editor[kTypeLabel]), "T:Contact &Type");
    EXPECT_EQ(TextOf(editor[kNickLabel]), "&Nick Name");  // no translation known
    EXPECT_EQ(TextOf(editor[kOk]), "T:&OK");
    EXPECT_EQ(TextOf(editor[kClose]), "T:Close");
    char item[64] = {};
    SendMessageA(editor[kContactType], CB_GETLBTEXT, 5, reinterpret_cast<LPARAM>(item));
    EXPECT_STREQ(item, "T:Other");
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitUntilGone(window));
  });
}

TEST_F(EditorTest, TabAndShiftTabWalkTheTabStopsAndFocusSelectsAll) {
  FireModulesLoaded();
  CallWhileDriving("mKestrinUser/Add", 0, [&] {
    const EditorView editor = WaitForEditor(uiThread, kAddCaption);
    ASSERT_NE(editor.window, nullptr);
    keyboard::Type("abc");
    ASSERT_TRUE(WaitForText(editor[kFullName], "abc"));
    const EditorControl forward[] = {kNick,    kContactType, kMobile, kEmail,   kHomepage,
                                     kAddress, kOk,          kClose,  kFullName};
    for (EditorControl next : forward) {
      keyboard::Tab();
      ASSERT_TRUE(WaitForFocus(uiThread, editor[next])) << "Tab to control " << next + 1;
    }
    // Tab inserted nothing, and coming back selected the whole text.
    EXPECT_EQ(TextOf(editor[kFullName]), "abc");
    EXPECT_EQ(SelectionOf(editor[kFullName]), std::make_pair(0, 3));
    const EditorControl backward[] = {kClose,  kOk,          kAddress, kHomepage, kEmail,
                                      kMobile, kContactType, kNick,    kFullName};
    for (EditorControl previous : backward) {
      keyboard::ShiftTab();
      ASSERT_TRUE(WaitForFocus(uiThread, editor[previous]))
          << "Shift+Tab to control " << previous + 1;
    }
    EXPECT_EQ(TextOf(editor[kAddress]), "0.0.0.0");
    EXPECT_EQ(SelectionOf(editor[kFullName]), std::make_pair(0, 3));
    CloseWithEscape(editor);
  });
}

TEST_F(EditorTest, EscapeOnTheListOrAButtonAndCloseStoreThePositionOnly) {
  FireModulesLoaded();
  struct Way {
    int tabs;
    EditorControl control;
    WORD key;
  };
  const Way ways[] = {{2, kContactType, VK_ESCAPE}, {7, kOk, VK_ESCAPE}, {8, kClose, VK_SPACE}};
  for (const Way& way : ways) {
    SCOPED_TRACE("control " + std::to_string(way.control + 1));
    host.ClearWrites();
    CallWhileDriving("mKestrinUser/Add", 0, [&] {
      const EditorView editor = WaitForEditor(uiThread, kAddCaption);
      ASSERT_NE(editor.window, nullptr);
      for (int i = 0; i < way.tabs; ++i) keyboard::Tab();
      ASSERT_TRUE(WaitForFocus(uiThread, editor[way.control]));
      keyboard::Press(way.key);
      EXPECT_TRUE(WaitUntilGone(editor.window));
    });
    const auto writes = host.Writes();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].setting, "UserAdd/Left");
    EXPECT_EQ(writes[1].setting, "UserAdd/Top");
  }
  EXPECT_EQ(host.ContactCount(), 0u);
}

TEST_F(EditorTest, EscapeOnTheOpenListClosesTheListOnly) {
  FireModulesLoaded();
  CallWhileDriving("mKestrinUser/Add", 0, [&] {
    const EditorView editor = WaitForEditor(uiThread, kAddCaption);
    ASSERT_NE(editor.window, nullptr);
    keyboard::Type("Ann Lee");
    ASSERT_TRUE(WaitForText(editor[kFullName], "Ann Lee"));
    keyboard::Tab();
    keyboard::Tab();
    ASSERT_TRUE(WaitForFocus(uiThread, editor[kContactType]));
    const HWND list = editor[kContactType];
    auto dropped = [list] { return SendWithTimeout(list, CB_GETDROPPEDSTATE, 0, 0) != 0; };
    const std::pair<WORD, WORD> openings[] = {{VK_MENU, VK_DOWN}, {0, VK_F4}};
    int item = 0;
    for (const auto& [modifier, key] : openings) {
      SCOPED_TRACE("key " + std::to_string(key));
      if (modifier != 0)
        keyboard::PressWith(modifier, key);
      else
        keyboard::Press(key);
      ASSERT_TRUE(WaitFor(dropped));
      keyboard::Escape();
      ASSERT_TRUE(WaitFor([&] { return !dropped(); }));
      // Down on the closed list takes the next item: once it has, the Escape
      // before it is through.
      keyboard::Press(VK_DOWN);
      ++item;
      ASSERT_TRUE(WaitFor([&] { return SendWithTimeout(list, CB_GETCURSEL, 0, 0) == item; }));
      ASSERT_TRUE(IsWindowVisible(editor.window));
    }
    EXPECT_EQ(TextOf(editor[kFullName]), "Ann Lee");
    // With the list closed, Escape closes the window.
    CloseWithEscape(editor);
  });
}

TEST_F(EditorTest, NextOpeningUsesTheStoredPosition) {
  FireModulesLoaded();
  CallWhileDriving("mKestrinUser/Add", 0, [&] {
    const EditorView editor = WaitForEditor(uiThread, kAddCaption);
    ASSERT_NE(editor.window, nullptr);
    SetWindowPos(editor.window, nullptr, 300, 250, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    for (int i = 0; i < 8; ++i) keyboard::Tab();
    ASSERT_TRUE(WaitForFocus(uiThread, editor[kClose]));
    keyboard::Space();
    EXPECT_TRUE(WaitUntilGone(editor.window));
  });
  EXPECT_EQ(host.Number(0, "mKestrinUser", "UserAdd/Left"), 300u);
  EXPECT_EQ(host.Number(0, "mKestrinUser", "UserAdd/Top"), 250u);
  CallWhileDriving("mKestrinUser/Add", 0, [&] {
    const EditorView editor = WaitForEditor(uiThread, kAddCaption);
    ASSERT_NE(editor.window, nullptr);
    EXPECT_EQ(WindowPlace(editor.window).left, 300);
    EXPECT_EQ(WindowPlace(editor.window).top, 250);
    CloseWithEscape(editor);
  });
}

TEST_F(EditorTest, StoredPositionIsReadSignedAndAPlaceOffScreenFallsBack) {
  struct Case {
    uint16_t storedLeft;
    uint16_t storedTop;
    int left;
    int top;
  };
  const Case cases[] = {
      {65526, 65526, -10, -10},  // closed a little left of and above the screen
      {65526, 300, -10, 300},   {1000, 700, 1000, 700},
      {30000, 100, 271, 210},  // right of every screen
      {35536, 100, 271, 210},  // -30000: far left of every screen
      {100, 65000, 271, 210},  // -536: above the screen by more than the height
      {100, 65236, 271, 210},  // -300: the title bar above the screen, the rest on it
  };
  FireModulesLoaded();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.storedLeft) + "," + std::to_string(c.storedTop));
    host.SetWord(0, "mKestrinUser", "UserAdd/Left", c.storedLeft);
    host.SetWord(0, "mKestrinUser", "UserAdd/Top", c.storedTop);
    CallWhileDriving("mKestrinUser/Add", 0, [&] {
      const EditorView editor = WaitForEditor(uiThread, kAddCaption);
      ASSERT_NE(editor.window, nullptr);
      EXPECT_EQ(WindowPlace(editor.window).left, c.left);
      EXPECT_EQ(WindowPlace(editor.window).top, c.top);
      EXPECT_NE(MonitorFromWindow(editor.window, MONITOR_DEFAULTTONULL), nullptr);
      CloseWithEscape(editor);
    });
    // Stored again as the low 16 bits of where it was.
    EXPECT_EQ(host.Number(0, "mKestrinUser", "UserAdd/Left"), static_cast<uint16_t>(c.left));
    EXPECT_EQ(host.Number(0, "mKestrinUser", "UserAdd/Top"), static_cast<uint16_t>(c.top));
  }
}

// Add and Edit chosen while the window is open, on the host's thread inside
// the editor's loop, as a menu command would come.
struct NestedCommands {
  PluginTest* test = nullptr;
  ContactHandle contact = 0;
  intptr_t addResult = -1;
  intptr_t editResult = -1;
  std::atomic<bool> done{false};
};
NestedCommands* Nested = nullptr;

void CALLBACK RunNestedCommands(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  Nested->addResult = testhost::TestHost::Instance().CallService("mKestrinUser/Add", 0, 0);
  Nested->editResult =
      testhost::TestHost::Instance().CallService("mKestrinUser/Edit", Nested->contact, 0);
  Nested->done = true;
}

TEST_F(EditorTest, AddAndEditDoNothingWhileTheWindowIsOpen) {
  NestedCommands nested;
  nested.contact = host.AddKestrinContact();
  Nested = &nested;
  FireModulesLoaded();
  // The timer fires in the first loop that dispatches this thread's messages:
  // the editor's.
  ASSERT_NE(SetTimer(nullptr, 0, 10, RunNestedCommands), 0u);
  CallWhileDriving("mKestrinUser/Add", 0, [&] {
    const EditorView editor = WaitForEditor(uiThread, kAddCaption);
    ASSERT_NE(editor.window, nullptr);
    ASSERT_TRUE(WaitFor([&] { return nested.done.load(); }));
    EXPECT_EQ(FindTopWindow(kEditCaption, kEditCaption), nullptr);
    EXPECT_EQ(FindTopWindow(kAddCaption, kAddCaption), editor.window);
    EXPECT_EQ(TextOf(editor[kAddress]), "0.0.0.0");
    CloseWithEscape(editor);
  });
  Nested = nullptr;
  EXPECT_EQ(nested.addResult, 0);
  EXPECT_EQ(nested.editResult, 0);
  EXPECT_EQ(host.ContactCount(), 1u);
}

TEST_F(EditorTest, HostQuitClosesTheWindowUnsavedAndReachesTheHostLoop) {
  FireModulesLoaded();
  host.ClearWrites();
  const intptr_t result = CallWhileDriving("mKestrinUser/Add", 0, [&] {
    const EditorView editor = WaitForEditor(uiThread, kAddCaption);
    ASSERT_NE(editor.window, nullptr);
    keyboard::Type("Not Saved");
    ASSERT_TRUE(WaitForText(editor[kFullName], "Not Saved"));
    PostThreadMessageA(uiThread, WM_QUIT, 42, 0);
    EXPECT_TRUE(WaitUntilGone(editor.window));
  });
  EXPECT_EQ(result, 0);
  MSG quit{};
  ASSERT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(quit.wParam, 42u);
  EXPECT_TRUE(host.Writes().empty());
  EXPECT_EQ(host.ContactCount(), 0u);

  // The editor can be opened again afterwards.
  CallWhileDriving("mKestrinUser/Add", 0, [&] {
    const EditorView editor = WaitForEditor(uiThread, kAddCaption);
    ASSERT_NE(editor.window, nullptr);
    CloseWithEscape(editor);
  });
  EXPECT_FALSE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

BOOL CALLBACK CountWindow(HWND, LPARAM count) {
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

int ThreadWindowCount(DWORD thread) {
  int count = 0;
  EnumThreadWindows(thread, CountWindow, reinterpret_cast<LPARAM>(&count));
  return count;
}

TEST_F(EditorTest, OpeningAndClosingAHundredTimesLeavesNothingBehind) {
  host.AddKestrinContact();
  FireModulesLoaded();
  const ContactHandle contact = host.Contacts().front();
  // One opening first: the thread's first window brings windows of the system.
  auto openAndClose = [&](int round, std::vector<HFONT>& fonts) {
    const bool edit = round % 2 == 1;
    CallWhileDriving(edit ? "mKestrinUser/Edit" : "mKestrinUser/Add", edit ? contact : 0, [&] {
      const EditorView editor = WaitForEditor(uiThread, edit ? kEditCaption : kAddCaption);
      ASSERT_NE(editor.window, nullptr);
      for (HWND control : editor.controls) {
        const auto font = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
        if (font != nullptr) fonts.push_back(font);
      }
      CloseWithEscape(editor);
    });
  };
  std::vector<HFONT> fonts;
  openAndClose(0, fonts);
  const int windowsBefore = ThreadWindowCount(uiThread);
  for (int round = 1; round <= 100; ++round) {
    fonts.clear();
    openAndClose(round, fonts);
    // Every control but the two separator lines keeps its font where
    // WM_GETFONT shows it.
    ASSERT_EQ(fonts.size(), static_cast<size_t>(kEditorControlCount - 2)) << "round " << round;
    for (HFONT font : fonts)
      ASSERT_EQ(GetObjectType(font), 0u) << "a font of round " << round << " lives on";
  }
  EXPECT_EQ(ThreadWindowCount(uiThread), windowsBefore);
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  EXPECT_FALSE(GetClassInfoExA(plugin.Module(), kAddCaption, &windowClass));
  EXPECT_FALSE(GetClassInfoExA(plugin.Module(), kEditCaption, &windowClass));
}

// Under the build folder, never in the working tree: KESTRIN_BUILD_DIR, or
// the folder of this program. scripts/pictures.sh compresses them into docs/.
TEST_F(EditorTest, PicturesOfTheAddAndEditWindows) {
  const ContactHandle contact = host.AddKestrinUser(testhost::SampleUser());
  FireModulesLoaded();
  // Under Xvfb the first window after the library is loaded is drawn with
  // an inactive caption; the pictures are taken of the windows after it.
  const std::pair<const char*, const char*> pictures[] = {{"mKestrinUser/Add", nullptr},
                                                          {"mKestrinUser/Add", "editor-add.png"},
                                                          {"mKestrinUser/Edit", "editor-edit.png"}};
  for (const auto& [service, file] : pictures) {
    const bool edit = std::string(service) == "mKestrinUser/Edit";
    CallWhileDriving(service, edit ? contact : 0, [&] {
      const EditorView editor = WaitForEditor(uiThread, edit ? kEditCaption : kAddCaption);
      ASSERT_NE(editor.window, nullptr);
      if (file != nullptr) {
        EXPECT_TRUE(SaveWindowPicture(editor.window, PicturePath(file))) << file;
      }
      CloseWithEscape(editor);
    });
  }
}

}  // namespace
