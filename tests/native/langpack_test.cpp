// The translation template holds every text the plug-in asks the host to
// translate: run the menus, the commands and the exchange, and look up each
// text the test host was asked for.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "plugin_test_support.h"
#include "records/KestrinUserU.h"

namespace {

class LangpackTemplate : public StartedPluginTest {
 protected:
  void SetUp() override {
    const char* source = std::getenv("KESTRIN_SOURCE_DIR");
    keys = testhost::LangpackKeys(std::string(source != nullptr ? source : ".") +
                                  "/langpack/langpack_mKestrinUser.txt");
    ASSERT_FALSE(keys.empty()) << "no template; is KESTRIN_SOURCE_DIR set?";
    StartedPluginTest::SetUp();
  }

  void ExpectInTemplate(const std::vector<std::string>& texts) {
    for (const std::string& text : texts)
      EXPECT_EQ(keys.count(text), 1u) << "\"" << text << "\" is missing from the template";
  }

  void RunCommand(const char* service, const std::string& answer) {
    testhost::QueueFileDialogAnswer(answer);
    host.CallService(service, 0, 0);
  }

  std::set<std::string> keys;
};

TEST_F(LangpackTemplate, HoldsTheMenuTexts) {
  const ContactHandle contact = host.AddKestrinContact();
  host.FireEvent("CList/PreBuildContactMenu", contact, 0);
  const std::vector<std::string> asked = host.TranslationRequests();
  EXPECT_GE(asked.size(), 5u);  // the popup and the four items
  ExpectInTemplate(asked);
}

// The editor window translates its caption and the contact-type captions.
TEST_F(LangpackTemplate, HoldsTheEditorCaptionsAndContactTypes) {
  host.CallService("mKestrinUser/Add", 0, 0);
  host.CallService("mKestrinUser/Edit", host.AddKestrinContact(), 0);
  const std::vector<testhost::EditorRun> runs = testhost::EditorRuns();
  ASSERT_EQ(runs.size(), 2u);
  ExpectInTemplate({runs[0].caption, runs[1].caption});
  ExpectInTemplate(
      std::vector<std::string>(std::begin(kContactTypeCaptions), std::end(kContactTypeCaptions)));
}

TEST_F(LangpackTemplate, HoldsTheTextsOfImportAndExport) {
  testhost::TempFolder folder;
  const std::string header =
      "First Name;Last Name;Name;Contact Type;E-mail Address;Mobile Phone;Personal Web Page\r\n";
  testhost::WriteFileBytes(folder.File("good.csv"), header + "Anna;Lee;;1;;;\r\n");
  testhost::WriteFileBytes(folder.File("blank.csv"), header + ";;;0;;;\r\n");

  RunCommand("mKestrinUser/Import", folder.File("good.csv"));
  RunCommand("mKestrinUser/Import", folder.File("blank.csv"));
  RunCommand("mKestrinUser/Import", folder.File("missing.csv"));
  RunCommand("mKestrinUser/Export", folder.File("out.csv"));
  testhost::FailFileOperation(testhost::FileOperation::Create);
  RunCommand("mKestrinUser/Export", folder.File("failed.csv"));

  // Completed and not completed, both ways, and the blank-name error.
  EXPECT_GE(testhost::ShownMessages().size(), 6u);
  ExpectInTemplate(host.TranslationRequests());
}

}  // namespace
