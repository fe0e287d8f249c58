// The translation template holds every text the plug-in asks the host to
// translate: run the menus, the commands and the exchange, and look up each
// text the test host was asked for.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "host/mKestrinUser.h"
#include "records/KestrinUserU.h"
#include "testhost/native_files.h"
#include "testhost/native_shell.h"
#include "testhost/test_host.h"

namespace {

// The English texts of a language-pack file: its lines "[text]".
std::set<std::string> TemplateKeys() {
  const char* source = std::getenv("KESTRIN_SOURCE_DIR");
  std::ifstream in(std::string(source != nullptr ? source : ".") +
                   "/langpack/langpack_mKestrinUser.txt");
  std::set<std::string> keys;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']')
      keys.insert(line.substr(1, line.size() - 2));
  }
  return keys;
}

class LangpackTemplate : public ::testing::Test {
 protected:
  void SetUp() override {
    keys = TemplateKeys();
    ASSERT_FALSE(keys.empty()) << "no template; is KESTRIN_SOURCE_DIR set?";
    host.Reset();
    testhost::ResetNativeShell();
    testhost::ResetNativeFiles();
    ASSERT_EQ(Load(host.Link()), 0);
    host.FireEvent("Miranda/System/ModulesLoaded", 0, 0);
  }
  void TearDown() override {
    Unload();
    testhost::JoinWorkers();
    testhost::ResetNativeFiles();
  }

  void ExpectInTemplate(const std::vector<std::string>& texts) {
    for (const std::string& text : texts)
      EXPECT_EQ(keys.count(text), 1u) << "\"" << text << "\" is missing from the template";
  }

  void RunCommand(const char* service, const std::string& answer) {
    testhost::QueueFileDialogAnswer(answer);
    host.CallService(service, 0, 0);
  }

  testhost::TestHost& host = testhost::TestHost::Instance();
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
