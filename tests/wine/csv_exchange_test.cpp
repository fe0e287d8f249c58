// The Import and Export commands of the real DLL, through their services,
// with the real common dialogs and message boxes.
#include <chrono>
#include <string>
#include <vector>

#include "csv_dialog_driver.h"
#include "testhost/text_encodings.h"
#include "wine_support.h"

namespace {

constexpr const char* kModuleName = "mKestrinUser";
const std::string kHeader =
    "First Name;Last Name;Name;Contact Type;E-mail Address;Mobile Phone;Personal Web Page\r\n";
constexpr const char* kCaption = "Kestrin Users";
constexpr const char* kFilter = "Comma Separated Values (*.csv)";
constexpr const char* kVCardFilter = "vCard files (*.vcf)";

class CsvWineTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    FireModulesLoaded();
  }

  CommandRun Import(const DialogAnswer& answer, const char* title = "Open") {
    return RunCommand([this] { return Call("mKestrinUser/Import"); }, title, answer);
  }
  CommandRun Export(const DialogAnswer& answer) {
    return RunCommand([this] { return Call("mKestrinUser/Export"); }, "Save", answer);
  }
  CommandRun ImportBytes(const std::string& bytes) {
    const std::string path = folder.File("in.csv");
    WriteWholeFile(path, bytes);
    return Import({path});
  }

  // A file of `lines` users that takes at least `lines` * 2 ms to import:
  // every creation costs the host that long.
  std::string SlowUsers(int lines) {
    host.SetContactAddCost(std::chrono::milliseconds(2));
    std::string bytes = kHeader;
    for (int i = 0; i < lines; ++i)
      bytes += "User" + std::to_string(i) + ";Last;Nick;1;u@example.com;0171;http://x\r\n";
    const std::string path = folder.File("many.csv");
    WriteWholeFile(path, bytes);
    return path;
  }

  std::string Text(ContactHandle contact, const char* setting) const {
    return host.Text(contact, kModuleName, setting).value_or("<missing>");
  }

  WinTempFolder folder;
};

void ExpectBox(const MessageBoxView& box, const std::string& text, const std::string& caption,
               bool icon) {
  EXPECT_EQ(box.text, text);
  EXPECT_EQ(box.caption, caption);
  EXPECT_EQ(box.iconShown, icon) << text;
}

// The one box of a command that could not use `path`: the failure, the file
// and the system's reason, with the error icon.
void ExpectFileFailure(const CommandRun& run, const std::string& text, const std::string& path) {
  ASSERT_EQ(run.boxes.size(), 1u);
  const std::string prefix = text + "\n\n" + path + ": ";
  EXPECT_EQ(run.boxes[0].text.substr(0, prefix.size()), prefix);
  EXPECT_GT(run.boxes[0].text.size(), prefix.size()) << "no reason given";
  EXPECT_EQ(run.boxes[0].caption, kCaption);
  EXPECT_TRUE(run.boxes[0].iconShown);
}

TEST_F(CsvWineTest, DialogsShowTheirTitleAndFilterAndCancelDoesNothing) {
  host.AddKestrinUser({"John", "John", "Smith", 1, "", "", ""});
  host.AddTranslation("Open", "Oeffnen");
  host.AddTranslation(kFilter, "Kommagetrennte Werte");
  host.AddTranslation("Save", "Speichern");

  const CommandRun import = Import({}, "Oeffnen");
  EXPECT_EQ(import.result, 0);
  EXPECT_TRUE(import.dialog.found);
  EXPECT_EQ(import.dialog.filters,
            (std::vector<std::string>{"Kommagetrennte Werte", kVCardFilter, "All files (*.*)"}));
  EXPECT_EQ(import.dialog.selectedFilter, 0);
  EXPECT_FALSE(import.dialog.readOnlyShown);
  EXPECT_TRUE(import.boxes.empty());
  EXPECT_EQ(host.ContactCount(), 1u);

  const CommandRun exported = Export({});
  EXPECT_EQ(exported.result, 0);
  EXPECT_EQ(exported.dialog.title, "Save");
  EXPECT_EQ(exported.dialog.filters, (std::vector<std::string>{kFilter, kVCardFilter}));
  EXPECT_EQ(exported.dialog.selectedFilter, 0);
  EXPECT_FALSE(exported.dialog.readOnlyShown);
  EXPECT_TRUE(exported.boxes.empty());
  EXPECT_TRUE(folder.Entries().empty());
}

TEST_F(CsvWineTest, DialogsRefuseWhatTheirFlagsForbid) {
  // Open wants an existing file; Save an existing folder. The dialog complains
  // in a box of its own and stays open (checked by the driver), then is cancelled.
  const CommandRun open = Import({folder.File("missing.csv"), 1});
  ASSERT_EQ(open.boxes.size(), 1u);
  EXPECT_NE(open.boxes[0].caption, kCaption);
  EXPECT_FALSE(open.boxes[0].text.empty());
  EXPECT_EQ(host.ContactCount(), 0u);

  host.AddKestrinUser({"John", "John", "Smith", 1, "", "", ""});
  const CommandRun save = Export({folder.File("nowhere\\out.csv"), 1});
  ASSERT_EQ(save.boxes.size(), 1u);
  EXPECT_NE(save.boxes[0].caption, kCaption);
  EXPECT_TRUE(folder.Entries().empty());
}

TEST_F(CsvWineTest, ExportWithoutKestrinUsersWritesTheHeaderAlone) {
  host.AddForeignContact("ICQ");
  const std::string target = folder.File("empty.csv");
  const CommandRun run = Export({target});
  ASSERT_EQ(run.boxes.size(), 1u);
  ExpectBox(run.boxes[0], "Export process has completed.", kCaption, false);
  EXPECT_EQ(ReadWholeFile(target), kHeader);
}

TEST_F(CsvWineTest, ExportLeavesOtherProtocolsOutAndImportAddsASecondCopyWhenAsked) {
  host.AddKestrinUser({"Johnny", "John", "Smith", 2, "john@example.com", "", ""});
  const ContactHandle foreign = host.AddForeignContact("ICQ");
  host.SetString(foreign, kModuleName, "FirstName", "Foreign");
  host.AddKestrinUser({"Anna;Lee", "Anna", "Lee", -1, "", "", ""});
  const std::string target = folder.File("users.csv");
  WriteWholeFile(target, "replaced without a question");

  const CommandRun exported = Export({target});
  ASSERT_EQ(exported.boxes.size(), 1u);
  ExpectBox(exported.boxes[0], "Export process has completed.", kCaption, false);
  EXPECT_EQ(ReadWholeFile(target),
            kHeader + "Anna;Lee;\"Anna;Lee\";-1;;;\r\nJohn;Smith;Johnny;2;john@example.com;;\r\n");
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"users.csv"});

  DialogAnswer addAsNew{target};
  addAsNew.choiceKey = 'A';
  const CommandRun imported = Import(addAsNew);
  ASSERT_EQ(imported.boxes.size(), 1u);
  ExpectBox(imported.boxes[0],
            "Import process has completed.\n\nKestrin users added: 2, updated: 0, skipped: 0.",
            kCaption, false);
  const auto contacts = host.Contacts();
  ASSERT_EQ(contacts.size(), 5u);
  // Newest first: John's copy, then Anna's.
  EXPECT_EQ(Text(contacts[0], "FirstName"), "John");
  EXPECT_EQ(Text(contacts[0], "e-mail"), "john@example.com");
  EXPECT_EQ(host.Number(contacts[0], kModuleName, "ContactType"), 2u);
  EXPECT_EQ(host.Text(contacts[0], "CList", "MyHandle"), "John Smith");
  EXPECT_EQ(Text(contacts[1], "Nick"), "Anna;Lee");
  EXPECT_EQ(host.Number(contacts[1], kModuleName, "ContactType"), 4294967295u);
}

// Importing an exported file again asks in the plug-in's question window,
// answered from the keyboard, and each answer does what it says.
TEST_F(CsvWineTest, ImportingAnExportedFileAgainAsksAndEachAnswerDoesWhatItSays) {
  const ContactHandle john =
      host.AddKestrinUser({"Johnny", "John", "Smith", 2, "john@example.com", "", ""});
  host.AddKestrinUser({"Anna", "Anna", "Lee", 0, "", "", ""});
  const std::string path = folder.File("users.csv");
  Export({path});
  WriteWholeFile(path, ReadWholeFile(path) + "Eve;Stone;;0;;;\r\n");
  host.SetDword(john, kModuleName, "ContactType", 4);
  const std::string counts = "Import process has completed.\n\nKestrin users added: ";

  DialogAnswer answer{path};
  answer.choiceKey = VK_ESCAPE;
  const CommandRun cancelled = Import(answer);
  ASSERT_TRUE(cancelled.choice.seen);
  EXPECT_EQ(cancelled.choice.caption, kCaption);
  EXPECT_EQ(cancelled.choice.text,
            "2 of the 3 Kestrin users in this file are already in your contact list.");
  EXPECT_EQ(cancelled.choice.buttons,
            (std::vector<std::string>{"&Update", "&Skip", "&Add as New", "Cancel"}));
  EXPECT_TRUE(cancelled.boxes.empty());
  EXPECT_EQ(host.ContactCount(), 2u);

  // Under Xvfb the first window after the library is loaded is drawn with an
  // inactive caption: the picture is taken of the second question.
  answer.choiceKey = 'S';
  answer.choicePicture = PicturePath("import-question.png");
  const CommandRun skipped = Import(answer);
  answer.choicePicture.clear();
  ASSERT_EQ(skipped.boxes.size(), 1u);
  ExpectBox(skipped.boxes[0], counts + "1, updated: 0, skipped: 2.", kCaption, false);
  EXPECT_EQ(host.Number(john, kModuleName, "ContactType"), 4u);

  answer.choiceKey = VK_RETURN;
  const CommandRun updated = Import(answer);
  ASSERT_EQ(updated.boxes.size(), 1u);
  ExpectBox(updated.boxes[0], counts + "0, updated: 3, skipped: 0.", kCaption, false);
  EXPECT_EQ(host.Number(john, kModuleName, "ContactType"), 2u);
  EXPECT_EQ(host.ContactCount(), 3u);

  answer.choiceKey = 'A';
  const CommandRun added = Import(answer);
  ASSERT_EQ(added.boxes.size(), 1u);
  ExpectBox(added.boxes[0], counts + "3, updated: 0, skipped: 0.", kCaption, false);
  EXPECT_EQ(host.ContactCount(), 6u);
}

// After a restart of the host, Undo removes exactly the contacts the last
// import created: not the one it updated, nor one saved since.
TEST_F(CsvWineTest, UndoAfterARestartRemovesExactlyTheCreatedContacts) {
  const ContactHandle john = host.AddKestrinUser({"Johnny", "John", "Smith", 2, "", "", ""});
  DialogAnswer answer{folder.File("in.csv")};
  WriteWholeFile(*answer.fileName, kHeader + "John;Smith;J\r\nAnn;Lee\r\nBob;Ray\r\nEve;Ng\r\n");
  answer.choiceKey = VK_RETURN;
  const CommandRun imported = Import(answer);
  ASSERT_EQ(imported.boxes.size(), 1u);
  ASSERT_EQ(host.ContactCount(), 4u);
  const ContactHandle saved = host.Contacts()[1];  // Bob, saved in the editor since
  // The restart: the library unloaded and loaded afresh over the same database.
  plugin.Close();
  ASSERT_TRUE(WaitFor([] { return GetModuleHandleA("mKestrinUser.dll") == nullptr; }, 10000));
  LoadPlugin();
  FireModulesLoaded();
  // As the editor's OK leaves it (EditContactTest.OkRewritesTheRecordInPlace).
  host.Delete(saved, kModuleName, "ImportId");

  DialogAnswer yes;
  yes.yes = true;
  const CommandRun undone =
      RunCommand([this] { return Call("mKestrinUser/UndoImport"); }, nullptr, yes);
  ASSERT_EQ(undone.boxes.size(), 2u);
  const std::string asked =
      "Remove the 2 Kestrin users that the import of " + folder.File("in.csv");
  EXPECT_EQ(undone.boxes[0].text.rfind(asked, 0), 0u) << undone.boxes[0].text;
  ExpectBox(undone.boxes[1], "Kestrin users removed: 2", kCaption, false);
  EXPECT_EQ(host.Contacts(), (std::vector<ContactHandle>{saved, john}));
  EXPECT_EQ(Text(john, "Nick"), "J");
  const CommandRun again =
      RunCommand([this] { return Call("mKestrinUser/UndoImport"); }, nullptr, yes);
  ASSERT_EQ(again.boxes.size(), 1u);
  ExpectBox(again.boxes[0], "There is no import to undo.", kCaption, false);
}

TEST_F(CsvWineTest, ATypedNameWithoutExtensionGetsCsv) {
  const CommandRun run = Export({folder.File("plain")});
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"plain.csv"});
}

TEST_F(CsvWineTest, TheVCardEntryExportsCardsThatImportBack) {
  // Stored in the code page (1252), as the host keeps what it holds; the card is UTF-8.
  host.AddKestrinUser({"J\xFC, \"jm\"; x", "J\xFCrgen", "M\xFCller", 1, "j@example.de", "", ""});
  const CommandRun exported = Export({folder.File("phone"), 0, 1});
  ASSERT_EQ(exported.boxes.size(), 1u);
  ExpectBox(exported.boxes[0], "Export process has completed.", kCaption, false);
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"phone.vcf"});
  const std::string path = folder.File("phone.vcf");
  EXPECT_EQ(ReadWholeFile(path),
            "BEGIN:VCARD\r\nVERSION:3.0\r\nN:M\xC3\xBCller;J\xC3\xBCrgen;;;\r\n"
            "FN:J\xC3\xBCrgen M\xC3\xBCller\r\nNICKNAME:J\xC3\xBC\\, \"jm\"\\; x\r\n"
            "EMAIL;TYPE=INTERNET:j@example.de\r\nCATEGORIES:Family\r\nEND:VCARD\r\n");

  DialogAnswer addAsNew{path, 0, 1};
  addAsNew.choiceKey = 'A';
  const CommandRun imported = Import(addAsNew);
  ASSERT_EQ(imported.boxes.size(), 1u);
  ExpectBox(imported.boxes[0],
            "Import process has completed.\n\nKestrin users added: 1, updated: 0, skipped: 0.",
            kCaption, false);
  ASSERT_EQ(host.ContactCount(), 2u);
  const ContactHandle copy = host.Contacts()[0];
  EXPECT_EQ(Text(copy, "LastName"), "M\xFCller");
  EXPECT_EQ(Text(copy, "Nick"), "J\xFC, \"jm\"; x");
  EXPECT_EQ(host.Number(copy, kModuleName, "ContactType"), 1u);
}

TEST_F(CsvWineTest, GroupsAreMadeOnceEachAndTheExportCarriesThem) {
  host.AddGroup("family");
  const CommandRun run = ImportBytes(
      "Given Name,Family Name,Labels\r\nAnn,Lee,* myContacts ::: Family\r\n"
      "Bo,Ek,Chess\\Club ::: * starred\r\nCy,Do,chess\\club\r\n");
  ASSERT_EQ(run.boxes.size(), 1u);
  ExpectBox(run.boxes[0], "Import process has completed.", kCaption, false);
  EXPECT_EQ(host.Groups(), (std::vector<std::string>{"family", "Chess", "Chess\\Club"}));
  const auto contacts = host.Contacts();  // newest first
  ASSERT_EQ(contacts.size(), 3u);
  EXPECT_EQ(host.Utf8Text(contacts[2], "CList", "Group"), "family");
  EXPECT_EQ(host.Utf8Text(contacts[1], "CList", "Group"), "Chess\\Club");
  EXPECT_EQ(host.Utf8Text(contacts[0], "CList", "Group"), "Chess\\Club");

  const std::string target = folder.File("groups.csv");
  Export({target});
  EXPECT_EQ(ReadWholeFile(target),
            kHeader.substr(0, kHeader.size() - 2) +
                ";Categories\r\nCy;Do;Cy Do;0;;;;Chess\\Club\r\n" +
                "Bo;Ek;Bo Ek;0;;;;Chess\\Club\r\nAnn;Lee;Ann Lee;1;;;;family\r\n");
}

TEST_F(CsvWineTest, HeaderInAnotherOrderWithExtraColumnsAndEmptyLines) {
  const CommandRun run = ImportBytes(
      "Notes;Contact Type;Name;E-mail Address\r\nx;3;Jean Paul;jp@example.com\r\n\r\n"
      "y;0x2;Simone\r\n\r\n");
  ASSERT_EQ(run.boxes.size(), 1u);
  ExpectBox(run.boxes[0], "Import process has completed.", kCaption, false);
  const auto contacts = host.Contacts();
  ASSERT_EQ(contacts.size(), 2u);
  EXPECT_EQ(Text(contacts[1], "FirstName"), "Jean");
  EXPECT_EQ(Text(contacts[1], "LastName"), "Paul");
  EXPECT_EQ(Text(contacts[1], "e-mail"), "jp@example.com");
  EXPECT_EQ(host.Number(contacts[1], kModuleName, "ContactType"), 3u);
  EXPECT_EQ(Text(contacts[0], "Nick"), "Simone");
  EXPECT_EQ(host.Number(contacts[0], kModuleName, "ContactType"), 2u);
}

TEST_F(CsvWineTest, ALineThatFailsStopsTheImportAndKeepsEarlierContacts) {
  host.AddTranslation("Import process has not completed.", "Import nicht beendet.");
  host.AddTranslation("Line %u has no name.", "Zeile %u hat keinen Namen.");
  const CommandRun run = ImportBytes(kHeader + "Anna;Lee\r\n  ;\t\r\nBob;Ray\r\n");
  ASSERT_EQ(run.boxes.size(), 2u);
  ExpectBox(run.boxes[0], "Invalid or empty full user name.", "Error", true);
  ExpectBox(run.boxes[1], "Import nicht beendet.\nZeile 3 hat keinen Namen.", kCaption, false);
  ASSERT_EQ(host.ContactCount(), 1u);
  EXPECT_EQ(Text(host.Contacts()[0], "FirstName"), "Anna");
}

TEST_F(CsvWineTest, AFileThatCannotBeOpenedIsNamedWithTheReason) {
  const std::string path = folder.File("locked.csv");
  WriteWholeFile(path, kHeader + "Anna;Lee\r\n");
  HeldFile lock(path);
  ASSERT_TRUE(lock.Held());
  ExpectFileFailure(Import({path}), "Import process has not completed.", path);
  EXPECT_EQ(host.ContactCount(), 0u);
}

TEST_F(CsvWineTest, AnExportThatCannotReplaceTheTargetLeavesItIntact) {
  host.AddKestrinUser({"Johnny", "John", "Smith", 2, "", "", ""});
  const std::string target = folder.File("busy.csv");
  const std::string old = "old;content\r\n";
  WriteWholeFile(target, old);
  {
    HeldFile lock(target);
    ASSERT_TRUE(lock.Held());
    ExpectFileFailure(Export({target}), "Export process has not completed.", target);
  }
  EXPECT_EQ(ReadWholeFile(target), old);
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"busy.csv"});
}

TEST_F(CsvWineTest, ExportWorksInAFolderTooLongForTheSystemsTemporaryNames) {
  host.AddKestrinUser({"Johnny", "John", "Smith", 2, "", "", ""});
  WinTempFolder deep(249);
  const std::string target = deep.File("u.csv");
  WriteWholeFile(target, "old\r\n");
  const CommandRun run = Export({target});
  ASSERT_EQ(run.boxes.size(), 1u);
  ExpectBox(run.boxes[0], "Export process has completed.", kCaption, false);
  EXPECT_EQ(ReadWholeFile(target), kHeader + "John;Smith;Johnny;2;;;\r\n");
  EXPECT_EQ(deep.Entries(), std::vector<std::string>{"u.csv"}) << "left a file behind";
}

// The same three names in each encoding a file may hold: Müller (in the code
// page), Greek and a character outside the Basic Multilingual Plane.
const std::string kMueller = "M\xC3\xBCller";
const std::string kGreek = "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1";
const std::string kBeyond = "\xF0\x9F\x98\x80";

// The same line after a header of three columns, as a spreadsheet's "Unicode text".
std::string Utf16File(bool little) {
  return testhost::Utf16FileBytes(
      u"First Name;Last Name;Name\r\n"
      u"M\u00FCller;\u03A9\u03BC\u03AD\u03B3\u03B1;\U0001F600\r\n",
      little);
}

TEST_F(CsvWineTest, ImportReadsUtf8AndUtf16ByWhatTheFileHolds) {
  const std::string line = kMueller + ";" + kGreek + ";" + kBeyond + "\r\n";
  const std::pair<const char*, std::string> files[] = {
      {"UTF-8 with its mark", "\xEF\xBB\xBF" + kHeader + line},
      {"UTF-8 without a mark", kHeader + line},
      {"UTF-16 little-endian", Utf16File(true)},
      {"UTF-16 big-endian", Utf16File(false)},
  };
  for (const auto& [title, bytes] : files) {
    SCOPED_TRACE(title);
    const CommandRun run = ImportBytes(bytes);
    ASSERT_EQ(run.boxes.size(), 1u);
    ExpectBox(run.boxes[0], "Import process has completed.", kCaption, false);
    const ContactHandle contact = host.Contacts().front();
    EXPECT_EQ(host.Get(contact, kModuleName, "FirstName"),
              (testhost::Value{DBVT_ASCIIZ, 0, "M\xFCller"}));
    EXPECT_EQ(host.Get(contact, kModuleName, "LastName"), (testhost::Value{DBVT_UTF8, 0, kGreek}));
    EXPECT_EQ(host.Get(contact, kModuleName, "Nick"), (testhost::Value{DBVT_UTF8, 0, kBeyond}));
    // Gone again, so that the next file's line is no repeated import.
    EXPECT_EQ(host.CallService("DB/Contact/Delete", contact, 0), 0);
  }
  EXPECT_EQ(host.LiveVariantTexts(), 0u);
}

TEST_F(CsvWineTest, ExportIsUtf8WithItsMarkOnlyWhenTheCodePageCannotHoldAName) {
  host.AddKestrinUser({"J\xFCrgen M\xFCller", "J\xFCrgen", "M\xFCller", 1, "", "", ""});
  const std::string target = folder.File("names.csv");
  ASSERT_EQ(Export({target}).boxes.size(), 1u);
  EXPECT_EQ(ReadWholeFile(target), kHeader + "J\xFCrgen;M\xFCller;J\xFCrgen M\xFCller;1;;;\r\n");

  const ContactHandle greek = host.AddKestrinContact();
  host.SetUtf8(greek, kModuleName, "FirstName", kGreek);
  host.SetUtf8(greek, kModuleName, "Nick", kBeyond);
  ASSERT_EQ(Export({target}).boxes.size(), 1u);
  EXPECT_EQ(ReadWholeFile(target), "\xEF\xBB\xBF" + kHeader + kGreek + ";;" + kBeyond +
                                       ";0;;;\r\nJ\xC3\xBCrgen;" + kMueller + ";J\xC3\xBCrgen " +
                                       kMueller + ";1;;;\r\n");
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"names.csv"});
  EXPECT_EQ(host.LiveVariantTexts(), 0u);
}

// The generated file takes the import seconds: the window shows after half a
// second, and Cancel ends the work after the record in hand.
TEST_F(CsvWineTest, LongImportShowsProgressOverItsOwnerAndCancelKeepsWhatCameIn) {
  constexpr int kLines = 2000;  // 4 s at least, the window shows after 0.5 s
  const std::string path = SlowUsers(kLines);

  // The window the command starts from owns the progress window.
  const HWND owner = CreateWindowExA(0, "STATIC", "Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                                     300, 200, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(owner, nullptr);
  SetActiveWindow(owner);
  ASSERT_EQ(GetActiveWindow(), owner);
  DialogAnswer answer{path};
  answer.cancelProgress = true;
  const CommandRun run = Import(answer);

  EXPECT_TRUE(run.progress.seen);
  EXPECT_EQ(run.progress.title, "Importing Kestrin users");
  EXPECT_EQ(run.progress.status.rfind("Kestrin users: ", 0), 0u) << run.progress.status;
  EXPECT_EQ(run.progress.cancel, "Cancel");
  EXPECT_EQ(run.progress.owner, owner);
  EXPECT_FALSE(run.progress.ownerEnabled);
  EXPECT_TRUE(run.progress.ownerRepainted);
  EXPECT_TRUE(IsWindowEnabled(owner));
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  EXPECT_FALSE(GetClassInfoExA(plugin.Module(), kProgressClass, &windowClass))
      << "class left registered";
  DestroyWindow(owner);

  const std::size_t made = host.ContactCount();
  EXPECT_GT(made, 0u);
  EXPECT_LT(made, static_cast<std::size_t>(kLines));
  ASSERT_EQ(run.boxes.size(), 1u);
  ExpectBox(run.boxes[0],
            "Import process was cancelled.\n\nKestrin users imported: " + std::to_string(made),
            kCaption, false);
  EXPECT_EQ(Text(host.Contacts().back(), "FirstName"), "User0");
  EXPECT_EQ(Text(host.Contacts().front(), "FirstName"), "User" + std::to_string(made - 1));

  // A small file is done before the window would show.
  const CommandRun small = ImportBytes(kHeader + "Anna;Lee\r\n");
  EXPECT_FALSE(small.progress.seen);
  ASSERT_EQ(small.boxes.size(), 1u);
  ExpectBox(small.boxes[0], "Import process has completed.", kCaption, false);
}

TEST_F(CsvWineTest, LongImportLeavesTheHostsContactListAloneUntilItEnds) {
  constexpr int kLines = 600;  // 1.2 s at least
  const std::string path = SlowUsers(kLines);
  const DWORD start = GetTickCount();
  const CommandRun run = Import({path});
  const DWORD seconds = (GetTickCount() - start) / 1000;

  EXPECT_TRUE(run.progress.seen);
  EXPECT_EQ(host.ContactCount(), static_cast<std::size_t>(kLines));
  // At most a turn a second while the import ran, and its posted message and
  // three timers once each at the end; a pump of the whole queue gives it
  // twenty turns a second.
  EXPECT_LE(host.ContactListWalks(), seconds + 1 + 4);
  EXPECT_TRUE(WaitFor([this] { return host.ContactListWalks() > 0; })) << "the list never walked";

  // A deleted contact leaves the walk at once and costs the list its walks too.
  host.SetContactListShown(false);
  host.SetContactListShown(true);
  const std::size_t walks = host.ContactListWalks();
  EXPECT_EQ(Call("DB/Contact/Delete", host.Contacts().front()), 0);
  EXPECT_EQ(host.ContactCount(), static_cast<std::size_t>(kLines - 1));
  EXPECT_TRUE(WaitFor([&] { return host.ContactListWalks() > walks; }));
}

}  // namespace
