// Names in any script in the editor window: typed or pasted, stored by the
// storage rule, and shown again when the contact is edited.
#include <cstring>
#include <string>

#include "editor_driver.h"
#include "keyboard.h"

namespace {

using testhost::Value;

// Omega-mega-epsilon-gamma-alpha, and a Chinese letter with a character
// outside the Basic Multilingual Plane (a surrogate pair in wide text).
const std::wstring kFirst = L"\u03A9\u03BC\u03AD\u03B3\u03B1";
const std::wstring kLast = L"\u674E\U0001F600";
const std::wstring kPastedNick = L"\U0001F600 nick";
const std::string kFirstUtf8 = "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1";
const std::string kLastUtf8 = "\xE6\x9D\x8E\xF0\x9F\x98\x80";
const std::string kPastedNickUtf8 = "\xF0\x9F\x98\x80 nick";

bool PutOnClipboard(const std::wstring& text) {
  if (!OpenClipboard(nullptr)) return false;
  EmptyClipboard();
  const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
  bool placed = false;
  if (memory != nullptr) {
    std::memcpy(GlobalLock(memory), text.c_str(), bytes);
    GlobalUnlock(memory);
    placed = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    if (!placed) GlobalFree(memory);  // the clipboard took it only on success
  }
  CloseClipboard();
  return placed;
}

bool WaitForWideText(HWND window, const std::wstring& expected) {
  return WaitFor([&] { return WideTextOf(window) == expected; });
}

class EditorUnicodeTest : public EditorTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    FireModulesLoaded();
  }
  // Types `fullName` into a new user's window, pastes `pastedNick` into its
  // nickname when one is given, and presses OK.
  void AddTyped(const std::wstring& fullName, const std::wstring& pastedNick = L"") {
    CallWhileDriving("mKestrinUser/Add", 0, [&] {
      const EditorView editor = WaitForEditor(uiThread, kAddCaption);
      ASSERT_NE(editor.window, nullptr);
      keyboard::TypeUnicode(fullName);
      ASSERT_TRUE(WaitForWideText(editor[kFullName], fullName));
      if (!pastedNick.empty()) {
        keyboard::Tab();
        ASSERT_TRUE(WaitForFocus(uiThread, editor[kNick]));
        ASSERT_TRUE(PutOnClipboard(pastedNick));
        keyboard::PressWith(VK_CONTROL, 'V');
        ASSERT_TRUE(WaitForWideText(editor[kNick], pastedNick));
      }
      SendWithTimeout(editor[kOk], BM_CLICK, 0, 0);
      EXPECT_TRUE(WaitUntilGone(editor.window));
    });
  }
};

TEST_F(EditorUnicodeTest, ANameOutsideTheCodePageIsStoredAsUtf8AndShownAgain) {
  AddTyped(kFirst + L" " + kLast, kPastedNick);
  ASSERT_EQ(host.ContactCount(), 1u);
  const ContactHandle contact = host.Contacts().front();
  EXPECT_EQ(host.Get(contact, "mKestrinUser", "FirstName"), (Value{DBVT_UTF8, 0, kFirstUtf8}));
  EXPECT_EQ(host.Get(contact, "mKestrinUser", "LastName"), (Value{DBVT_UTF8, 0, kLastUtf8}));
  EXPECT_EQ(host.Get(contact, "mKestrinUser", "Nick"), (Value{DBVT_UTF8, 0, kPastedNickUtf8}));
  EXPECT_EQ(host.Get(contact, "CList", "MyHandle"),
            (Value{DBVT_UTF8, 0, kFirstUtf8 + " " + kLastUtf8}));

  const intptr_t result = CallWhileDriving("mKestrinUser/Edit", contact, [&] {
    const EditorView editor = WaitForEditor(uiThread, kEditCaption);
    ASSERT_NE(editor.window, nullptr);
    EXPECT_EQ(WideTextOf(editor[kFullName]), kFirst + L" " + kLast);
    EXPECT_EQ(WideTextOf(editor[kNick]), kPastedNick);
    keyboard::Escape();
    EXPECT_TRUE(WaitUntilGone(editor.window));
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(host.LiveVariantTexts(), 0u);
}

TEST_F(EditorUnicodeTest, ANameTheCodePageHoldsIsStoredAsEightBitTextAsBefore) {
  AddTyped(L"J\u00FCrgen M\u00FCller \u20AC");
  ASSERT_EQ(host.ContactCount(), 1u);
  const ContactHandle contact = host.Contacts().front();
  EXPECT_EQ(host.Get(contact, "mKestrinUser", "FirstName"), (Value{DBVT_ASCIIZ, 0, "J\xFCrgen"}));
  EXPECT_EQ(host.Get(contact, "mKestrinUser", "LastName"),
            (Value{DBVT_ASCIIZ, 0, "M\xFCller \x80"}));
  EXPECT_EQ(host.Get(contact, "CList", "MyHandle"),
            (Value{DBVT_ASCIIZ, 0, "J\xFCrgen M\xFCller \x80"}));
}

}  // namespace
