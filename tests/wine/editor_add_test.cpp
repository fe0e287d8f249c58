// Adding a Kestrin user in the editor window, typed as a user types.
#include <functional>
#include <string>

#include "editor_driver.h"
#include "keyboard.h"

namespace {

using testhost::Value;
using Settings = std::map<std::pair<std::string, std::string>, Value>;

// From the full-name field, seven Tabs reach OK; Space presses it.
void PressOkFromFullName(DWORD uiThread, const EditorView& editor) {
  for (int i = 0; i < 7; ++i) keyboard::Tab();
  ASSERT_TRUE(WaitForFocus(uiThread, editor[kOk]));
  keyboard::Space();
}

TEST_F(EditorTest, AddJohnSmithWritesTheNewContact) {
  host.SetDword(0, "mKestrinUser", "UserID", 8);
  FireModulesLoaded();
  const intptr_t result = CallWhileDriving("mKestrinUser/Add", 0, [&] {
    const EditorView editor = WaitForEditor(uiThread, kAddCaption);
    ASSERT_NE(editor.window, nullptr);
    keyboard::Type("John Smith");
    ASSERT_TRUE(WaitForText(editor[kFullName], "John Smith"));
    PressOkFromFullName(uiThread, editor);
    EXPECT_TRUE(WaitUntilGone(editor.window));
  });
  EXPECT_EQ(result, 0);
  ASSERT_EQ(host.ContactCount(), 1u);
  const Settings expected = {
      {{"Protocol", "0"}, {DBVT_ASCIIZ, 0, "Ignore"}},
      {{"Protocol", "p"}, {DBVT_ASCIIZ, 0, "mKestrinUser"}},
      {{"CList", "MyHandle"}, {DBVT_ASCIIZ, 0, "John Smith"}},
      {{"mKestrinUser", "UserID"}, {DBVT_DWORD, 9, ""}},
      {{"mKestrinUser", "Nick"}, {DBVT_ASCIIZ, 0, "John Smith"}},
      {{"mKestrinUser", "FirstName"}, {DBVT_ASCIIZ, 0, "John"}},
      {{"mKestrinUser", "LastName"}, {DBVT_ASCIIZ, 0, "Smith"}},
      {{"mKestrinUser", "ContactType"}, {DBVT_DWORD, 0, ""}},
      {{"mKestrinUser", "RealIP"}, {DBVT_DWORD, 0, ""}},
      {{"mKestrinUser", "Status"}, {DBVT_WORD, 40071, ""}},
      {{"UserOnline", "OldStatus"}, {DBVT_WORD, 40071, ""}},
  };
  EXPECT_EQ(host.Settings(host.Contacts().front()), expected);
  EXPECT_EQ(host.Number(0, "mKestrinUser", "UserID"), 9u);
  EXPECT_EQ(host.Number(0, "mKestrinUser", "UserAdd/Left"), 271u);
  EXPECT_EQ(host.Number(0, "mKestrinUser", "UserAdd/Top"), 210u);
}

// A full name of blanks and OK: `box` is the message that refuses it.
void OkWithABlankName(DWORD uiThread, const EditorView& editor, HWND& box) {
  keyboard::Type("   ");
  ASSERT_TRUE(WaitForText(editor[kFullName], "   "));
  PressOkFromFullName(uiThread, editor);
  box = WaitForMessageBox(editor.window);
  ASSERT_NE(box, nullptr);
}

// The icon a message box shows: the picture of its icon control.
HICON MessageBoxIcon(HWND box) {
  for (const auto& [child, place] : ChildPlaces(box)) {
    if (ClassNameOf(child) == "Static" && (GetWindowLongA(child, GWL_STYLE) & SS_ICON) != 0)
      return reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
  }
  return nullptr;
}

TEST_F(EditorTest, BlankFullNameIsRefusedWithAMessageAndTheWindowStays) {
  host.AddTranslation("Invalid or empty full user name.", "Ungueltiger Name.");
  host.AddTranslation("Error", "Fehler");
  FireModulesLoaded();
  CallWhileDriving("mKestrinUser/Add", 0, [&] {
    const EditorView editor = WaitForEditor(uiThread, kAddCaption);
    ASSERT_NE(editor.window, nullptr);
    host.ClearWrites();
    HWND box = nullptr;
    ASSERT_NO_FATAL_FAILURE(OkWithABlankName(uiThread, editor, box));
    EXPECT_EQ(WindowText(box), "Fehler");
    EXPECT_EQ(TextOf(GetDlgItem(box, 0xFFFF)), "Ungueltiger Name.");
    EXPECT_EQ(MessageBoxIcon(box), LoadIconA(nullptr, IDI_HAND));
    EXPECT_NE(GetDlgItem(box, IDOK), nullptr);
    EXPECT_EQ(GetDlgItem(box, IDCANCEL), nullptr);
    ASSERT_TRUE(BringToFront(box));
    keyboard::Enter();
    ASSERT_TRUE(WaitUntilGone(box));

    EXPECT_TRUE(IsWindowVisible(editor.window));
    EXPECT_EQ(TextOf(editor[kFullName]), "   ");
    EXPECT_TRUE(host.Writes().empty());
    EXPECT_EQ(host.ContactCount(), 0u);
    // Back from the box the full name has the focus with its text selected,
    // so that typing replaces it; Escape closes the window unsaved.
    ASSERT_TRUE(TypeAfterAClosedBox(uiThread, editor.window, editor[kFullName], "Ann", "Ann"));
    keyboard::Escape();
    EXPECT_TRUE(WaitUntilGone(editor.window));
  });
  EXPECT_EQ(host.ContactCount(), 0u);
}

// The editor goes by another road while its blank-name message is open; the
// message's loop returns after the window and its controls are gone.
class GoneUnderTheMessageTest : public EditorTest {
 protected:
  // Add, a full name of blanks, OK; `end` ends the window under the message.
  void EndUnderTheMessage(const std::function<void(HWND)>& end) {
    FireModulesLoaded();
    const intptr_t result = CallWhileDriving("mKestrinUser/Add", 0, [&] {
      const EditorView editor = WaitForEditor(uiThread, kAddCaption);
      ASSERT_NE(editor.window, nullptr);
      host.ClearWrites();
      HWND box = nullptr;
      ASSERT_NO_FATAL_FAILURE(OkWithABlankName(uiThread, editor, box));
      end(editor.window);
      EXPECT_TRUE(WaitUntilGone(editor.window));
      EXPECT_TRUE(WaitUntilGone(box));
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(host.ContactCount(), 0u);
  }
};

TEST_F(GoneUnderTheMessageTest, ClosedWindowEndsWithoutWriting) {
  EndUnderTheMessage([](HWND window) { PostMessageA(window, WM_CLOSE, 0, 0); });
  EXPECT_TRUE(host.Writes().empty());
}

TEST_F(GoneUnderTheMessageTest, HiddenWindowStoresItsPositionOnly) {
  EndUnderTheMessage([](HWND window) { ShowWindowAsync(window, SW_HIDE); });
  const auto writes = host.Writes();
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0].setting, "UserAdd/Left");
  EXPECT_EQ(writes[1].setting, "UserAdd/Top");
}

TEST_F(EditorTest, NicknameOfBlanksBecomesTheTrimmedFullName) {
  FireModulesLoaded();
  // The first OK finds no contact made by the host: the window stays open and
  // shows the nickname it would have stored.
  host.SetFailContactAdd(true);
  CallWhileDriving("mKestrinUser/Add", 0, [&] {
    const EditorView editor = WaitForEditor(uiThread, kAddCaption);
    ASSERT_NE(editor.window, nullptr);
    keyboard::Type("Jane Doe  ");
    keyboard::Tab();
    keyboard::Type("   ");
    ASSERT_TRUE(WaitForText(editor[kNick], "   "));
    for (int i = 0; i < 6; ++i) keyboard::Tab();
    ASSERT_TRUE(WaitForFocus(uiThread, editor[kOk]));
    keyboard::Space();
    EXPECT_TRUE(WaitForText(editor[kNick], "Jane Doe"));
    EXPECT_TRUE(IsWindowVisible(editor.window));
    EXPECT_EQ(host.ContactCount(), 0u);

    host.SetFailContactAdd(false);
    keyboard::Space();
    EXPECT_TRUE(WaitUntilGone(editor.window));
  });
  ASSERT_EQ(host.ContactCount(), 1u);
  const ContactHandle contact = host.Contacts().front();
  EXPECT_EQ(host.Text(contact, "mKestrinUser", "Nick"), "Jane Doe");
  EXPECT_EQ(host.Text(contact, "CList", "MyHandle"), "Jane Doe  ");
  EXPECT_EQ(host.Text(contact, "mKestrinUser", "FirstName"), "Jane");
  EXPECT_EQ(host.Text(contact, "mKestrinUser", "LastName"), "Doe");
}

// Another plug-in's hook on the contact's creation may close the window: what
// was typed is stored all the same, and nothing reads the released controls.
TEST_F(EditorTest, WindowClosedWhileTheHostAddsTheContactStoresWhatWasTyped) {
  FireModulesLoaded();
  CallWhileDriving("mKestrinUser/Add", 0, [&] {
    const EditorView editor = WaitForEditor(uiThread, kAddCaption);
    ASSERT_NE(editor.window, nullptr);
    keyboard::Type("Ann Lee");
    keyboard::Tab();
    keyboard::Type("Annie");
    ASSERT_TRUE(WaitForText(editor[kNick], "Annie"));
    host.OnContactAdd([window = editor.window] { SendMessageW(window, WM_CLOSE, 0, 0); });
    for (int i = 0; i < 6; ++i) keyboard::Tab();
    ASSERT_TRUE(WaitForFocus(uiThread, editor[kOk]));
    keyboard::Space();
    EXPECT_TRUE(WaitUntilGone(editor.window));
  });
  ASSERT_EQ(host.ContactCount(), 1u);
  EXPECT_EQ(host.Text(host.Contacts().front(), "mKestrinUser", "Nick"), "Annie");
}

TEST_F(EditorTest, OptionalFieldsAreStoredAsTyped) {
  FireModulesLoaded();
  const std::string longMail = [] {
    std::string text;
    for (int i = 0; text.size() < 2000; ++i) text += static_cast<char>('a' + i % 26);
    return text;
  }();
  CallWhileDriving("mKestrinUser/Add", 0, [&] {
    const EditorView editor = WaitForEditor(uiThread, kAddCaption);
    ASSERT_NE(editor.window, nullptr);
    keyboard::Type("Ann Lee");
    keyboard::Tab();
    keyboard::Tab();
    keyboard::Press(VK_DOWN);  // from "Unspecified" to "Family"
    keyboard::Press(VK_DOWN);  // "Friends"
    keyboard::Tab();
    keyboard::Type("0171 555");
    keyboard::Tab();
    keyboard::Type(longMail);
    keyboard::Tab();
    keyboard::Type("  ");
    keyboard::Tab();
    keyboard::Type("10.0.0.138");
    // Two thousand keystrokes queue up behind each other: on a busy machine
    // they take far longer than a person's typing.
    ASSERT_TRUE(WaitForText(editor[kAddress], "10.0.0.138", 60000));
    ASSERT_EQ(TextOf(editor[kEmail]).size(), longMail.size());
    keyboard::Tab();
    ASSERT_TRUE(WaitForFocus(uiThread, editor[kOk]));
    keyboard::Space();
    EXPECT_TRUE(WaitUntilGone(editor.window));
  });
  ASSERT_EQ(host.ContactCount(), 1u);
  const ContactHandle contact = host.Contacts().front();
  EXPECT_EQ(host.Number(contact, "mKestrinUser", "ContactType"), 2u);
  EXPECT_EQ(host.Text(contact, "mKestrinUser", "Cellular"), "0171 555 SMS");
  EXPECT_EQ(host.Text(contact, "mKestrinUser", "AlternativeCellular"), "0171 555");
  // Longer than the 1023 characters that once were kept: nothing is lost.
  EXPECT_EQ(host.Text(contact, "mKestrinUser", "e-mail"), longMail);
  EXPECT_EQ(host.Text(contact, "mKestrinUser", "Homepage"), "  ");
  EXPECT_EQ(host.Number(contact, "mKestrinUser", "RealIP"), 0x0A00008Au);
  EXPECT_EQ(host.Text(contact, "mKestrinUser", "Nick"), "Ann Lee");
}

}  // namespace
