// The editor window asks the host to translate only texts that the
// translation template holds: its caption, labels, buttons and list items.
#include <set>
#include <string>

#include "wine_support.h"

namespace {

struct Opening {
  const char* service;
  bool onContact;
  const char* title;
};

}  // namespace

class EditorTranslation : public PluginTest {};

TEST_F(EditorTranslation, AsksOnlyForTextsOfTheTemplate) {
  const std::set<std::string> keys =
      testhost::LangpackKeys(SourceDir() + "/langpack/langpack_mKestrinUser.txt");
  ASSERT_FALSE(keys.empty()) << "no template under " << SourceDir();
  FireModulesLoaded();
  const ContactHandle contact = host.AddKestrinUser(testhost::SampleUser());
  const size_t before = host.TranslationRequests().size();

  for (const Opening& opening : {Opening{"mKestrinUser/Add", false, "Add Kestrin User"},
                                 Opening{"mKestrinUser/Edit", true, "Edit Kestrin User"}}) {
    UiThread driver([&] {
      HWND editor = WaitForTopWindow(nullptr, opening.title);
      ASSERT_NE(editor, nullptr) << opening.title;
      PostMessageA(editor, WM_CLOSE, 0, 0);
    });
    Call(opening.service, opening.onContact ? contact : 0, 0);
    driver.Join();
  }

  const std::vector<std::string> asked = host.TranslationRequests();
  // Per opening: the caption, seven labels, two buttons, six contact types.
  EXPECT_GE(asked.size() - before, 2u * 16u);
  for (const std::string& text : asked)
    EXPECT_EQ(keys.count(text), 1u) << "\"" << text << "\" is missing from the template";
}
