// Editing an existing Kestrin user: the fields show its settings, and OK
// writes them back in place.
#include <string>

#include "editor_driver.h"
#include "keyboard.h"

namespace {

// `tabs` Tabs from the full-name field reach `control`.
void TabTo(DWORD uiThread, const EditorView& editor, int tabs, EditorControl control) {
  for (int i = 0; i < tabs; ++i) keyboard::Tab();
  ASSERT_TRUE(WaitForFocus(uiThread, editor[control]));
}

class EditContactTest : public EditorTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    contact = host.AddKestrinUser({"Annie", "Anna", "", 3, "anna@example.org",
                                   "http://anna.example.org", "0171 555", 0xC0A80001u},
                                  4);
    host.SetString(contact, "CList", "MyHandle", "Anna as listed");
    FireModulesLoaded();
  }
  // Opens the editor on the contact and runs `drive` on it.
  void Edit(const std::function<void(const EditorView&)>& drive) {
    const intptr_t result = CallWhileDriving("mKestrinUser/Edit", contact, [&] {
      const EditorView editor = WaitForEditor(uiThread, kEditCaption);
      ASSERT_NE(editor.window, nullptr);
      drive(editor);
    });
    EXPECT_EQ(result, 0);
  }

  ContactHandle contact = 0;
};

TEST_F(EditContactTest, FieldsShowTheStoredSettings) {
  Edit([&](const EditorView& editor) {
    EXPECT_EQ(TextOf(editor[kFullName]), "Anna");
    EXPECT_EQ(TextOf(editor[kNick]), "Annie");
    EXPECT_EQ(SendMessageA(editor[kContactType], CB_GETCURSEL, 0, 0), 3);
    EXPECT_EQ(TextOf(editor[kMobile]), "0171 555");
    EXPECT_EQ(TextOf(editor[kEmail]), "anna@example.org");
    EXPECT_EQ(TextOf(editor[kHomepage]), "http://anna.example.org");
    EXPECT_EQ(TextOf(editor[kAddress]), "192.168.0.1");
    // The caret at the start of the full name, nothing selected.
    EXPECT_EQ(SelectionOf(editor[kFullName]), std::make_pair(0, 0));
    keyboard::Escape();
    EXPECT_TRUE(WaitUntilGone(editor.window));
  });
}

TEST_F(EditContactTest, OkRewritesTheRecordInPlace) {
  host.SetDword(contact, "mKestrinUser", "ImportId", 3);  // made by an import
  host.ClearWrites();
  Edit([&](const EditorView& editor) {
    TabTo(uiThread, editor, 7, kOk);
    keyboard::Space();
    EXPECT_TRUE(WaitUntilGone(editor.window));
  });
  EXPECT_EQ(host.ContactCount(), 1u);
  EXPECT_EQ(host.Text(contact, "CList", "MyHandle"), "Anna as listed");
  EXPECT_EQ(host.Number(contact, "mKestrinUser", "UserID"), 4u);
  EXPECT_FALSE(host.Has(contact, "mKestrinUser", "ImportId")) << "saved: no undo removes it";
  EXPECT_EQ(host.Text(contact, "mKestrinUser", "FirstName"), "Anna");
  EXPECT_EQ(host.Text(contact, "mKestrinUser", "LastName"), "");
  EXPECT_EQ(host.Number(contact, "mKestrinUser", "RealIP"), 0xC0A80001u);
  EXPECT_EQ(host.Number(contact, "mKestrinUser", "ContactType"), 3u);
  EXPECT_EQ(host.Text(contact, "mKestrinUser", "Cellular"), "0171 555 SMS");
  EXPECT_EQ(host.Number(0, "mKestrinUser", "UserID"), 4u);
  for (const testhost::SettingWrite& write : host.Writes())
    EXPECT_TRUE(write.contact == contact || write.setting == "UserAdd/Left" ||
                write.setting == "UserAdd/Top")
        << write.module << "/" << write.setting;
}

TEST_F(EditContactTest, OkKeepsTheStoredNamesWhileTheFullNameIsUnchanged) {
  host.SetString(contact, "mKestrinUser", "FirstName", "Mary Ann");
  host.SetString(contact, "mKestrinUser", "LastName", "Smith");
  Edit([&](const EditorView& editor) {
    EXPECT_EQ(TextOf(editor[kFullName]), "Mary Ann Smith");
    TabTo(uiThread, editor, 7, kOk);
    keyboard::Space();
    EXPECT_TRUE(WaitUntilGone(editor.window));
  });
  EXPECT_EQ(host.Text(contact, "mKestrinUser", "FirstName"), "Mary Ann");
  EXPECT_EQ(host.Text(contact, "mKestrinUser", "LastName"), "Smith");
  // A full name typed anew is split as always.
  Edit([&](const EditorView& editor) {
    keyboard::PressWith(VK_SHIFT, VK_END);  // the caret is at the start
    keyboard::Type("Mary Jones");
    ASSERT_TRUE(WaitForText(editor[kFullName], "Mary Jones"));
    TabTo(uiThread, editor, 7, kOk);
    keyboard::Space();
    EXPECT_TRUE(WaitUntilGone(editor.window));
  });
  EXPECT_EQ(host.Text(contact, "mKestrinUser", "FirstName"), "Mary");
  EXPECT_EQ(host.Text(contact, "mKestrinUser", "LastName"), "Jones");
}

TEST_F(EditContactTest, AnAddressThatIsNoAddressStoresZero) {
  Edit([&](const EditorView& editor) {
    TabTo(uiThread, editor, 6, kAddress);
    EXPECT_EQ(SelectionOf(editor[kAddress]), std::make_pair(0, 11));
    keyboard::Type("1.2.3");
    ASSERT_TRUE(WaitForText(editor[kAddress], "1.2.3"));
    TabTo(uiThread, editor, 1, kOk);
    keyboard::Space();
    EXPECT_TRUE(WaitUntilGone(editor.window));
  });
  EXPECT_EQ(host.Number(contact, "mKestrinUser", "RealIP"), 0u);
}

TEST_F(EditContactTest, UnknownContactTypeShowsNoSelectionAndStoresMinusOne) {
  host.SetDword(contact, "mKestrinUser", "ContactType", 9);
  Edit([&](const EditorView& editor) {
    EXPECT_EQ(SendMessageA(editor[kContactType], CB_GETCURSEL, 0, 0), CB_ERR);
    TabTo(uiThread, editor, 7, kOk);
    keyboard::Space();
    EXPECT_TRUE(WaitUntilGone(editor.window));
  });
  EXPECT_EQ(host.Number(contact, "mKestrinUser", "ContactType"), 4294967295u);
}

TEST_F(EditContactTest, ClearingTheMobileNumberDeletesBothSettings) {
  Edit([&](const EditorView& editor) {
    TabTo(uiThread, editor, 3, kMobile);
    keyboard::Press(VK_DELETE);  // the whole text is selected
    ASSERT_TRUE(WaitForText(editor[kMobile], ""));
    TabTo(uiThread, editor, 4, kOk);
    keyboard::Space();
    EXPECT_TRUE(WaitUntilGone(editor.window));
  });
  EXPECT_FALSE(host.Has(contact, "mKestrinUser", "Cellular"));
  EXPECT_FALSE(host.Has(contact, "mKestrinUser", "AlternativeCellular"));
  EXPECT_EQ(host.Text(contact, "mKestrinUser", "e-mail"), "anna@example.org");
}

TEST_F(EditContactTest, EscapeInTheEmailFieldClosesWithoutWriting) {
  host.ClearWrites();
  Edit([&](const EditorView& editor) {
    TabTo(uiThread, editor, 4, kEmail);
    keyboard::Type("changed@example.org");
    ASSERT_TRUE(WaitForText(editor[kEmail], "changed@example.org"));
    keyboard::Escape();
    EXPECT_TRUE(WaitUntilGone(editor.window));
  });
  const std::vector<testhost::SettingWrite> writes = host.Writes();
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0].contact, 0u);
  EXPECT_EQ(writes[0].setting, "UserAdd/Left");
  EXPECT_EQ(writes[0].value, (testhost::Value{DBVT_WORD, 271, ""}));
  EXPECT_EQ(writes[1].setting, "UserAdd/Top");
  EXPECT_EQ(writes[1].value, (testhost::Value{DBVT_WORD, 210, ""}));
  EXPECT_EQ(host.Text(contact, "mKestrinUser", "e-mail"), "anna@example.org");
}

}  // namespace
