// The Import and Export commands against the test host, with real files in a
// temporary folder and scripted dialog answers.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "exchange/commands/export_command.h"
#include "exchange/commands/import_command.h"
#include "exchange/commands/import_loop.h"
#include "exchange/commands/undo_command.h"
#include "exchange/formats/csv_dialect.h"
#include "exchange/formats/csv_format.h"
#include "plugin_test_support.h"
#include "records/KestrinUserU.h"
#include "shell/shell.h"
#include "testhost/text_encodings.h"

namespace {

using testhost::FileOperation;
using testhost::ShownMessage;

constexpr const char* kModuleName = "mKestrinUser";
const std::string kHeader = std::string(kHeaderLine) + "\r\n";

// The values a Kestrin user carries through the file.
struct Record {
  Record(std::string first, std::string last, std::string nick, int32_t type = 0,
         std::string mail = "", std::string mobile = "", std::string web = "")
      : first(std::move(first)),
        last(std::move(last)),
        nick(std::move(nick)),
        type(type),
        mail(std::move(mail)),
        mobile(std::move(mobile)),
        web(std::move(web)) {}

  std::string first, last, nick;
  int32_t type;
  std::string mail, mobile, web;

  bool operator==(const Record& other) const {
    return first == other.first && last == other.last && nick == other.nick && type == other.type &&
           mail == other.mail && mobile == other.mobile && web == other.web;
  }
};

std::ostream& operator<<(std::ostream& out, const Record& r) {
  return out << ::testing::PrintToString(std::vector<std::string>{
             r.first, r.last, r.nick, std::to_string(r.type), r.mail, r.mobile, r.web});
}

class CsvExchangeTest : public StartedPluginTest {
 protected:
  // A host with an empty database and the plug-in started afresh.
  void Restart() {
    Unload();
    SetUp();
  }

  // The plug-in unloaded and loaded again over the same database, as after a restart.
  void Reload() {
    Unload();
    ASSERT_EQ(Load(host.Link()), 0);
    host.FireEvent("Miranda/System/ModulesLoaded", 0, 0);
  }

  // Imports `bytes` from a file of the folder; answers the messages shown.
  std::vector<ShownMessage> Import(const std::string& bytes) {
    const std::string path = folder.File("in.csv");
    testhost::WriteFileBytes(path, bytes);
    return RunCommand("mKestrinUser/Import", path);
  }
  // Undo Last Import, which asks no file; answers the messages shown.
  std::vector<ShownMessage> Undo() {
    testhost::ClearShownMessages();
    EXPECT_EQ(host.CallService("mKestrinUser/UndoImport", 0, 0), 0);
    return testhost::ShownMessages();
  }
  std::vector<ShownMessage> RunCommand(const char* service, std::optional<std::string> answer,
                                       std::size_t filter = 0) {
    testhost::ClearShownMessages();
    testhost::QueueFileDialogAnswer(std::move(answer), filter);
    EXPECT_EQ(host.CallService(service, 0, 0), 0);
    return testhost::ShownMessages();
  }

  ContactHandle AddUser(const Record& r) {
    return host.AddKestrinUser({r.nick, r.first, r.last, r.type, r.mail, r.web, r.mobile});
  }
  Record ReadUser(ContactHandle contact) const {
    auto text = [&](const char* setting) {
      return host.Text(contact, kModuleName, setting).value_or("");
    };
    return {text("FirstName"),
            text("LastName"),
            text("Nick"),
            static_cast<int32_t>(host.Number(contact, kModuleName, "ContactType").value_or(0)),
            text("e-mail"),
            text("AlternativeCellular"),
            text("Homepage")};
  }
  // The contacts the last import created, in the order of the file's lines.
  std::vector<ContactHandle> NewestInFileOrder(std::size_t count) const {
    const std::vector<ContactHandle> all = host.Contacts();
    EXPECT_GE(all.size(), count);
    return std::vector<ContactHandle>(all.rend() - static_cast<std::ptrdiff_t>(count), all.rend());
  }

  testhost::TempFolder folder;
};

std::string Repeat(const std::string& text, std::size_t times) {
  std::string repeated;
  for (std::size_t i = 0; i < times; ++i) repeated += text;
  return repeated;
}

ShownMessage Completed(const char* text) { return {text, "Kestrin Users", 0x0}; }

// An import that stopped at a record: where and why.
ShownMessage Stopped(const std::string& where) {
  return Completed(("Import process has not completed.\n" + where).c_str());
}

void ExpectMessages(const std::vector<ShownMessage>& shown, const std::vector<ShownMessage>& want) {
  ASSERT_EQ(shown.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(shown[i].text, want[i].text);
    EXPECT_EQ(shown[i].caption, want[i].caption);
    EXPECT_EQ(shown[i].flags, want[i].flags);
  }
}

// A failure that names the file and the system's reason, with the error icon.
void ExpectFileFailure(const std::vector<ShownMessage>& shown, const std::string& text,
                       const std::string& path, const std::string& reason) {
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, text + "\n\n" + path + ": " + reason);
  EXPECT_EQ(shown[0].caption, "Kestrin Users");
  EXPECT_EQ(shown[0].flags, 0x10u);
}

// Each filter entry's description and pattern, in the dialog's order.
std::vector<std::string> FilterTexts(const shell::FileDialogRequest& request) {
  std::vector<std::string> texts;
  for (const shell::FileFilter& filter : request.filters) {
    texts.push_back(filter.description);
    texts.push_back(filter.pattern);
  }
  return texts;
}

TEST_F(CsvExchangeTest, DialogsAskWithTheirOwnSettings) {
  host.AddTranslation("Open", "Oeffnen");
  host.AddTranslation("Save", "Speichern");
  host.AddTranslation("Comma Separated Values (*.csv)", "Kommagetrennte Werte (*.csv)");
  host.AddTranslation("vCard files (*.vcf)", "vCard-Dateien");
  host.AddTranslation("Export process has completed.", "Export fertig.");
  host.AddTranslation("Kestrin Users", "Kestrin-Benutzer");
  EXPECT_TRUE(RunCommand("mKestrinUser/Import", std::nullopt).empty());
  ExpectMessages(RunCommand("mKestrinUser/Export", folder.File("out.csv")),
                 {Completed("Export fertig.")});

  const auto requests = testhost::FileDialogRequests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].kind, shell::FileDialogKind::Open);
  EXPECT_EQ(requests[0].title, "Oeffnen");
  EXPECT_EQ(FilterTexts(requests[0]),
            (std::vector<std::string>{"Kommagetrennte Werte (*.csv)", "*.csv", "vCard-Dateien",
                                      "*.vcf", "All files (*.*)", "*.*"}));
  EXPECT_EQ(requests[0].defaultExtension, "csv");
  EXPECT_EQ(requests[0].flags, 0x1804u);
  EXPECT_EQ(requests[1].kind, shell::FileDialogKind::Save);
  EXPECT_EQ(requests[1].title, "Save");
  EXPECT_EQ(FilterTexts(requests[1]),
            (std::vector<std::string>{"Comma Separated Values (*.csv)", "*.csv",
                                      "vCard files (*.vcf)", "*.vcf"}));
  EXPECT_EQ(requests[1].defaultExtension, "csv");
  EXPECT_EQ(requests[1].flags, 0x804u);
}

TEST_F(CsvExchangeTest, CancelledDialogsDoNothing) {
  AddUser({"John", "Smith", "John Smith", 1, "", "", ""});
  EXPECT_TRUE(RunCommand("mKestrinUser/Import", std::nullopt).empty());
  EXPECT_TRUE(RunCommand("mKestrinUser/Export", std::nullopt).empty());
  EXPECT_EQ(host.ContactCount(), 1u);
  EXPECT_TRUE(folder.Entries().empty());
}

struct ImportCase {
  const char* title;
  std::string line;
  Record record;
  std::string myHandle;
};

TEST_F(CsvExchangeTest, ImportsEachLineByTheRecordRules) {
  const std::string name300 = "Abcde " + std::string(294, 'z');
  const std::string greek300 = "Ab " + Repeat("\xCE\xA9", 300);
  const ImportCase cases[] = {
      {"all columns",
       "John;Smith;Johnny;2;j@x.org;0171 555;http://x.org",
       {"John", "Smith", "Johnny", 2, "j@x.org", "0171 555", "http://x.org"},
       "John Smith"},
      {"name only", ";;John Smith", {"John", "Smith", "John Smith"}, "John Smith"},
      {"first only", "John;;", {"John", "", "John"}, "John "},
      {"name with leading blank", ";; Bob", {"", "Bob", " Bob"}, " Bob"},
      {"padded names", " Ann ;\tLee ; x ;;  ", {"Ann", "Lee", " x ", 0, "  "}, " Ann  \tLee "},
      {"quoted", "\"a;b\";\"c\";n;3;\"m;x\"", {"a;b", "c", "n", 3, "m;x"}, "a;b c"},
      {"long name", ";;" + name300, {"Abcde", std::string(255, 'z'), name300}, name300},
      {"long name in greek, cut by characters",
       ";;" + greek300,
       {"Ab", Repeat("\xCE\xA9", 255), greek300},
       greek300},
  };
  for (const ImportCase& c : cases) {
    SCOPED_TRACE(c.title);
    ExpectMessages(Import(kHeader + c.line + "\r\n"), {Completed("Import process has completed.")});
    const ContactHandle contact = host.Contacts().front();
    EXPECT_EQ(ReadUser(contact), c.record);
    EXPECT_EQ(host.Text(contact, "CList", "MyHandle"), c.myHandle);
    EXPECT_EQ(host.Text(contact, "Protocol", "p"), "mKestrinUser");
    const std::optional<std::string> cellular =
        c.record.mobile.empty() ? std::nullopt
                                : std::optional<std::string>(c.record.mobile + " SMS");
    EXPECT_EQ(host.Text(contact, kModuleName, "Cellular"), cellular);
    EXPECT_FALSE(host.Has(contact, kModuleName, "RealIP"));
    EXPECT_FALSE(host.Has(contact, kModuleName, "UserID"));
    EXPECT_EQ(host.Number(contact, kModuleName, "Status"), 40071u);
    EXPECT_EQ(host.Number(contact, "UserOnline", "OldStatus"), 40071u);
  }
}

TEST_F(CsvExchangeTest, ReadsTheContactTypeAsAWholeInteger) {
  const std::pair<const char*, uint32_t> cases[] = {
      {"3", 3},
      {" 3", 3},
      {"3 ", 0},
      {"abc", 0},
      {"", 0},
      {"-1", 4294967295u},
      {"$10", 16},
      {"0x1F", 31},
      {"X1f", 31},
      {"+7", 7},
      {"7x", 0},
      {"2147483647", 2147483647u},
      {"2147483648", 0},
      {"-2147483648", 2147483648u},
      {"0xFFFFFFFF", 4294967295u},
      {"0x100000000", 0},
      {"$", 0},
      {"- 1", 0},
      {"\t3", 0},
  };
  std::string file = "Name;Contact Type\r\n";
  for (const auto& c : cases) file += std::string("n;") + c.first + "\r\n";
  ExpectMessages(Import(file), {Completed("Import process has completed.")});
  const auto contacts = NewestInFileOrder(std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(host.Number(contacts[i], kModuleName, "ContactType"), cases[i].second)
        << "type text: '" << cases[i].first << "'";
}

TEST_F(CsvExchangeTest, StatusFollowsTheTypeWhileOnline) {
  host.CallService("mKestrinUser/SetStatus", 40072, 0);
  Import(kHeader + "A;B;;2\r\n");
  const ContactHandle contact = host.Contacts().front();
  EXPECT_EQ(host.Number(contact, kModuleName, "Status"), 40074u);
  EXPECT_EQ(host.Number(contact, "UserOnline", "OldStatus"), 40074u);
}

TEST_F(CsvExchangeTest, ColumnsComeByTitleInAnyOrder) {
  ExpectMessages(Import("Extra;Contact Type;Name;Other\r\n1;4;Jean Paul Sartre;zz\r\n"
                        "2;x;Simone\r\n"),
                 {Completed("Import process has completed.")});
  const auto contacts = NewestInFileOrder(2);
  EXPECT_EQ(ReadUser(contacts[0]), (Record{"Jean", "Paul Sartre", "Jean Paul Sartre", 4}));
  EXPECT_EQ(ReadUser(contacts[1]), (Record{"Simone", "", "Simone", 0}));
}

TEST_F(CsvExchangeTest, EmptyFirstLineMeansTheExportOrder) {
  Import("\r\nA;B;Nick;1;m;p;w\r\n");
  EXPECT_EQ(ReadUser(host.Contacts().front()), (Record{"A", "B", "Nick", 1, "m", "p", "w"}));
}

TEST_F(CsvExchangeTest, EmptyLinesCarryNoRecord) {
  const char* const files[] = {
      "\r\nA;B\r\n\r\n\r\nC;D\r\n\r\n",
      "First Name;Last Name\nA;B\n\n\nC;D\n\n",
      "First Name;Last Name\r\nA;B\r\n\r\r\nC;D\r\n\032E;F\r\n",
  };
  for (const char* file : files) {
    Restart();
    ExpectMessages(Import(file), {Completed("Import process has completed.")});
    const auto contacts = host.Contacts();
    ASSERT_EQ(contacts.size(), 2u) << ::testing::PrintToString(std::string(file));
    EXPECT_EQ(ReadUser(contacts[1]).first, "A");
    EXPECT_EQ(ReadUser(contacts[0]).first, "C");
  }
}

TEST_F(CsvExchangeTest, HeaderAloneOrEmptyFileImportsNothing) {
  for (const char* file : {"", kHeaderLine, "\r\n"}) {
    ExpectMessages(Import(file), {Completed("Import process has completed.")});
    EXPECT_EQ(host.ContactCount(), 0u);
  }
}

TEST_F(CsvExchangeTest, AFailingLineStopsTheImportKeepsEarlierContactsAndSaysWhere) {
  const ShownMessage invalidName{"Invalid or empty full user name.", "Error", 0x10};
  // A line of blanks, a line without any name, then a header that matches nothing.
  ExpectMessages(Import(kHeader + "A;B\r\n   \r\nC;D\r\n"),
                 {invalidName, Stopped("Line 3 has no name.")});
  EXPECT_EQ(host.ContactCount(), 1u);
  // Skipped empty lines count.
  ExpectMessages(Import(kHeader + "E;F\r\n\r\n\n ; ;\t;5;mail\r\nG;H\r\n"),
                 {invalidName, Stopped("Line 5 has no name.")});
  EXPECT_EQ(host.ContactCount(), 2u);
  ExpectFileFailure(Import("John;Smith;John Smith;3\r\nAnna;Lee;Anna Lee;1\r\n"),
                    "Import process has not completed.", folder.File("in.csv"),
                    "The first line holds no known column title, and the file is no vCard file.");
  EXPECT_EQ(host.ContactCount(), 2u);

  host.SetFailContactAdd(true);
  ExpectMessages(Import(kHeader + "I;J\r\n"),
                 {Stopped("The messenger did not create the contact of line 2.")});
  EXPECT_EQ(host.ContactCount(), 2u);
}

TEST_F(CsvExchangeTest, ALineLongerThanOneMebibyteStopsTheImportAndSaysWhere) {
  const std::string huge(LineReader::kMaxLineLength + 1, 'x');
  ExpectMessages(Import(kHeader + "Anna;Lee\r\n" + huge + "\r\nBob;Ray\r\n"),
                 {Completed("Import process has not completed.\nLine 3 is longer than 1 MiB.")});
  EXPECT_EQ(host.ContactCount(), 1u);
}

TEST_F(CsvExchangeTest, AByteOrderMarkLeavesTheFirstTitleFound) {
  ExpectMessages(Import("\xEF\xBB\xBF" + kHeader + "Anna;Lee;Annie;1\r\n"),
                 {Completed("Import process has completed.")});
  ASSERT_EQ(host.ContactCount(), 1u);
  EXPECT_EQ(ReadUser(host.Contacts()[0]), (Record{"Anna", "Lee", "Annie", 1}));
}

TEST_F(CsvExchangeTest, AFileOfLoneCrsImportsEveryLine) {
  ExpectMessages(Import(std::string(kHeaderLine) + "\rAnna;Lee;;1\rBob;Ray;;2\r"),
                 {Completed("Import process has completed.")});
  ASSERT_EQ(host.ContactCount(), 2u);
  const std::vector<ContactHandle> contacts = NewestInFileOrder(2);
  EXPECT_EQ(ReadUser(contacts[0]), (Record{"Anna", "Lee", "Anna Lee", 1}));
  EXPECT_EQ(ReadUser(contacts[1]), (Record{"Bob", "Ray", "Bob Ray", 2}));
}

TEST_F(CsvExchangeTest, ANameTooLongForTheDatabaseIsStoredCut) {
  const std::string first(100000, 'f');
  ExpectMessages(Import(kHeader + first + ";Lee\r\n"),
                 {Completed("Import process has completed.")});
  ASSERT_EQ(host.ContactCount(), 1u);
  const ContactHandle contact = host.Contacts()[0];
  const std::string cut(kMaxStoredText, 'f');
  EXPECT_EQ(host.Text(contact, kModuleName, "FirstName"), cut);
  EXPECT_EQ(host.Text(contact, kModuleName, "Nick"), cut);
  EXPECT_EQ(host.Text(contact, "CList", "MyHandle"), cut);
  EXPECT_EQ(host.Text(contact, kModuleName, "LastName"), "Lee");
}

TEST_F(CsvExchangeTest, AFileThatCannotBeReadIsTold) {
  const std::string missing = folder.File("missing.csv");
  ExpectFileFailure(RunCommand("mKestrinUser/Import", missing), "Import process has not completed.",
                    missing, "No such file or directory");

  // The second read fails: the lines of the first chunk stay imported.
  std::string file = kHeader;
  std::size_t lines = 0;
  while (file.size() < 100000) {
    file += "Name" + std::to_string(lines++) + ";Last\r\n";
  }
  testhost::FailFileOperation(FileOperation::Read, 2, "The device is not ready.");
  const auto shown = Import(file);
  // The header and the imported lines come before the line that could not be read.
  const std::string unread =
      "Line " + std::to_string(host.ContactCount() + 2) + " could not be read.";
  ExpectFileFailure(shown, "Import process has not completed.\n" + unread, folder.File("in.csv"),
                    "The device is not ready.");
  EXPECT_GT(host.ContactCount(), 1000u);
  EXPECT_LT(host.ContactCount(), lines);
  EXPECT_EQ(ReadUser(host.Contacts().back()).first, "Name0");

  Restart();
  testhost::FailFileOperation(FileOperation::Close, 1, "Bad handle.");
  ExpectFileFailure(Import(kHeader + "A;B\r\n"), "Import process has not completed.",
                    folder.File("in.csv"), "Bad handle.");
  EXPECT_EQ(host.ContactCount(), 1u);

  Restart();
  testhost::FailFileOperation(FileOperation::Open, 1, "Access is denied.");
  ExpectFileFailure(Import(kHeader + "A;B\r\n"), "Import process has not completed.",
                    folder.File("in.csv"), "Access is denied.");
  EXPECT_EQ(host.ContactCount(), 0u);
}

// A data file of `lines` Kestrin users named by number.
std::string NumberedUsers(std::size_t lines) {
  std::string file = kHeader;
  for (std::size_t i = 0; i < lines; ++i) file += "User" + std::to_string(i) + ";Last\r\n";
  return file;
}

// The same users as cards.
std::string NumberedCards(std::size_t cards) {
  std::string file;
  for (std::size_t i = 0; i < cards; ++i)
    file += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Last;User" + std::to_string(i) + "\r\nEND:VCARD\r\n";
  return file;
}

// With no delay the window opens at the first check, after kCheckEvery
// records, and a Cancel pressed in that first showing ends the work there.
TEST_F(CsvExchangeTest, CancelStopsTheImportAndTellsHowManyCameIn) {
  for (const std::string& file : {NumberedUsers(100), NumberedCards(100)}) {
    SCOPED_TRACE(file.substr(0, 11));
    Restart();
    const std::string path = folder.File("in.csv");
    testhost::WriteFileBytes(path, file);
    testhost::SetProgressCancelAt(1);
    {
      ProgressShown progress(0x4711, "Importing", std::chrono::milliseconds(0));
      ImportFile(path, "Kestrin Users", progress);
    }
    constexpr std::size_t kDone = ProgressShown::kCheckEvery;
    ExpectMessages(testhost::ShownMessages(),
                   {Completed("Import process was cancelled.\n\nKestrin users imported: 16")});
    ASSERT_EQ(host.ContactCount(), kDone);
    EXPECT_EQ(ReadUser(host.Contacts().front()).first, "User15");
    const auto runs = testhost::ProgressRuns();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].owner, 0x4711u);
    EXPECT_EQ(runs[0].title, "Importing");
    EXPECT_EQ(runs[0].cancel, "Cancel");
    EXPECT_EQ(runs[0].status, "Kestrin users: 16");
    EXPECT_EQ(runs[0].permille, 160) << "16 of the 100 records written";
    EXPECT_FALSE(runs[0].open);
  }
}

TEST_F(CsvExchangeTest, ShortWorkShowsNoProgressWindow) {
  host.AddTranslation("Kestrin users:", "Kestrin-Benutzer:");
  ExpectMessages(Import(NumberedUsers(ProgressShown::kCheckEvery - 1)),
                 {Completed("Import process has completed.")});
  ExpectMessages(RunCommand("mKestrinUser/Export", folder.File("out.csv")),
                 {Completed("Export process has completed.")});
  EXPECT_TRUE(testhost::ProgressRuns().empty());

  // Work that is not cancelled runs to its end with the window up to date.
  AddUser({"One", "More", "N"});
  testhost::ClearShownMessages();
  ProgressShown progress(0, "Exporting", std::chrono::milliseconds(0));
  ExportFile(folder.File("out.csv"), ExportFormat::Csv, "Kestrin Users", progress);
  ExpectMessages(testhost::ShownMessages(), {Completed("Export process has completed.")});
  const std::string written = testhost::ReadFileBytes(folder.File("out.csv"));
  EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 17);
  const auto runs = testhost::ProgressRuns();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].status, "Kestrin-Benutzer: 16");
  EXPECT_EQ(runs[0].permille, 1000);
  EXPECT_FALSE(runs[0].open);
}

TEST_F(CsvExchangeTest, CancelledExportWritesNoFile) {
  for (const ExportFormat format : {ExportFormat::Csv, ExportFormat::VCard}) {
    SCOPED_TRACE(static_cast<int>(format));
    Restart();
    for (int i = 0; i < 40; ++i) AddUser({"U" + std::to_string(i), "L", "N"});
    const std::string target = folder.File("out.csv");
    testhost::WriteFileBytes(target, "old\r\n");
    testhost::SetProgressCancelAt(1);
    ProgressShown progress(0, "Exporting", std::chrono::milliseconds(0));
    ExportFile(target, format, "Kestrin Users", progress);
    ExpectMessages(testhost::ShownMessages(),
                   {Completed("Export process was cancelled; no file was written.")});
    EXPECT_EQ(testhost::ReadFileBytes(target), "old\r\n");
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"out.csv"});
    const auto runs = testhost::ProgressRuns();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].permille, 400) << "16 of 40 contacts walked";
  }
}

// The file dialog and the progress window keep the host's windows working: a
// second command asked from one of them must not start inside the running one.
TEST_F(CsvExchangeTest, NoSecondCommandStartsWhileOneRuns) {
  testhost::SetFileDialogHook([this] {
    testhost::SetFileDialogHook(nullptr);
    EXPECT_EQ(host.CallService("mKestrinUser/Import", 0, 0), 0);
    EXPECT_EQ(host.CallService("mKestrinUser/Export", 0, 0), 0);
  });
  ExpectMessages(Import(NumberedUsers(2)), {Completed("Import process has completed.")});
  EXPECT_EQ(testhost::FileDialogRequests().size(), 1u);
  // Once it has ended, the next one starts.
  EXPECT_TRUE(RunCommand("mKestrinUser/Export", std::nullopt).empty());
  EXPECT_EQ(testhost::FileDialogRequests().size(), 2u);
}

TEST_F(CsvExchangeTest, AnExceptionInACommandIsToldInAnErrorBox) {
  const auto box = [](const std::string& text) {
    return ShownMessage{text, "Kestrin Users", 0x10};
  };
  testhost::ThrowAtNextFileDialog();
  ExpectMessages(RunCommand("mKestrinUser/Import", std::nullopt),
                 {box("Import process has not completed.\nThere is not enough memory.")});
  testhost::ThrowAtNextFileDialog();
  ExpectMessages(RunCommand("mKestrinUser/Export", std::nullopt),
                 {box("Export process has not completed.\nThere is not enough memory.")});

  testhost::ThrowAtNextEditorRun("no window class");
  ExpectMessages(RunCommand("mKestrinUser/Add", std::nullopt),
                 {box("The Kestrin user window has failed.\nAn unexpected error occurred. "
                      "(no window class)")});
  // The editor counts as closed again.
  ExpectMessages(RunCommand("mKestrinUser/Edit", std::nullopt), {});
  EXPECT_EQ(testhost::EditorRuns().size(), 1u);
}

TEST_F(CsvExchangeTest, ExportWritesTheHeaderAndEveryKestrinUserOnly) {
  const std::string target = folder.File("out.csv");
  ExpectMessages(RunCommand("mKestrinUser/Export", target),
                 {Completed("Export process has completed.")});
  EXPECT_EQ(testhost::ReadFileBytes(target), kHeader);

  AddUser({"John", "Smith", "Johnny", 2, "j@x.org", "0171 555", "http://x.org"});
  const ContactHandle foreign = host.AddForeignContact("ICQ");
  host.SetString(foreign, kModuleName, "FirstName", "Foreign");
  host.SetString(foreign, kModuleName, "Nick", "Foreign");
  host.AddContact();  // no protocol at all
  AddUser({"Anna", "", "Anna", -1});
  ExpectMessages(RunCommand("mKestrinUser/Export", target),
                 {Completed("Export process has completed.")});
  EXPECT_EQ(testhost::ReadFileBytes(target),
            kHeader + "Anna;;Anna;-1;;;\r\nJohn;Smith;Johnny;2;j@x.org;0171 555;http://x.org\r\n");
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"out.csv"});
}

TEST_F(CsvExchangeTest, AFailedExportLeavesTheOldFileAsItWas) {
  AddUser({"John", "Smith", "Johnny", 2});
  const std::string target = folder.File("out.csv");
  const std::string old = "old content\r\n";
  const std::pair<FileOperation, const char*> faults[] = {
      {FileOperation::Create, "Disk full."},
      {FileOperation::Write, "There is not enough space on the disk."},
      {FileOperation::Close, "The network name is no longer available."},
      {FileOperation::Replace, "The process cannot access the file."},
  };
  for (const auto& fault : faults) {
    testhost::WriteFileBytes(target, old);
    testhost::FailFileOperation(fault.first, 1, fault.second);
    ExpectFileFailure(RunCommand("mKestrinUser/Export", target),
                      "Export process has not completed.", target, fault.second);
    EXPECT_EQ(testhost::ReadFileBytes(target), old) << fault.second;
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"out.csv"}) << "left a file behind";
  }

  // Real failures: a folder that does not exist, and a target that is a folder.
  const std::string nowhere = folder.File("none/out.csv");
  ExpectFileFailure(RunCommand("mKestrinUser/Export", nowhere), "Export process has not completed.",
                    nowhere, "No such file or directory");
  const std::string busy = folder.File("busy");
  ASSERT_EQ(::mkdir(busy.c_str(), 0700), 0);
  testhost::WriteFileBytes(busy + "/keep", old);
  ExpectFileFailure(RunCommand("mKestrinUser/Export", busy), "Export process has not completed.",
                    busy, "Is a directory");
  EXPECT_EQ(testhost::ReadFileBytes(busy + "/keep"), old);
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"busy", "out.csv"}));
}

TEST_F(CsvExchangeTest, ExportReplacesAFileInAFolderTooLongForTheSystemsTemporaryNames) {
  AddUser({"John", "Smith", "Johnny", 2});
  testhost::TempFolder deep(249);
  ASSERT_EQ(deep.Path().size(), 249u);
  const std::string target = deep.File("u.csv");
  testhost::WriteFileBytes(target, "old\r\n");
  testhost::WriteFileBytes(deep.File("~0000"), "another program's\r\n");
  ExpectMessages(RunCommand("mKestrinUser/Export", target),
                 {Completed("Export process has completed.")});
  EXPECT_EQ(testhost::ReadFileBytes(target), kHeader + "John;Smith;Johnny;2;;;\r\n");
  EXPECT_EQ(testhost::ReadFileBytes(deep.File("~0000")), "another program's\r\n");
  EXPECT_EQ(deep.Entries(), (std::vector<std::string>{"u.csv", "~0000"}));
}

// Importing an exported file again asks once about the stored users, and
// each answer does what it says; the counts join the closing message.
TEST_F(CsvExchangeTest, ImportingAnExportedFileAgainAsksAndEachAnswerDoesWhatItSays) {
  const Record users[] = {
      {"John", "Smith", "Johnny", 2, "j@x.org", "0171 555", "http://x.org"},
      {"Anna", "Lee", "Anna Lee", -1},
      {"Bob", "", "B", 5, "", "", "w"},
  };
  for (const Record& user : users) AddUser(user);
  host.AddForeignContact("ICQ");
  const std::string file = folder.File("both.csv");
  RunCommand("mKestrinUser/Export", file);
  // One more line: a user not stored, and John's type changed in the file.
  std::string bytes = testhost::ReadFileBytes(file);
  bytes.replace(bytes.find(";2;j@x.org"), 10, ";4;j@x.org");
  testhost::WriteFileBytes(file, bytes + "Eve;Stone;;0;;;\r\n");
  testhost::SetCommandWindow(0x4711);
  const std::string question =
      "3 of the 4 Kestrin users in this file are already in your contact list.";

  // Cancel (as Esc and the close box): nothing is written, nothing more said.
  host.ClearWrites();
  EXPECT_TRUE(RunCommand("mKestrinUser/Import", file).empty());
  EXPECT_TRUE(host.Writes().empty());
  auto choices = testhost::Choices();
  ASSERT_EQ(choices.size(), 1u);
  EXPECT_EQ(choices[0].owner, 0x4711u);
  EXPECT_EQ(choices[0].caption, "Kestrin Users");
  EXPECT_EQ(choices[0].text, question);
  EXPECT_EQ(choices[0].buttons,
            (std::vector<std::string>{"&Update", "&Skip", "&Add as New", "Cancel"}));

  // Skip: the new user alone, the stored ones untouched.
  testhost::QueueChoice(1);
  ExpectMessages(RunCommand("mKestrinUser/Import", file),
                 {Completed("Import process has completed.\n\n"
                            "Kestrin users added: 1, updated: 0, skipped: 3.")});
  ASSERT_EQ(host.ContactCount(), 5u);
  EXPECT_EQ(ReadUser(host.Contacts().front()), Record("Eve", "Stone", "Eve Stone"));
  EXPECT_EQ(ReadUser(host.Contacts().back()).type, 2);

  // Update: John takes the file's type, and Eve is stored now too.
  testhost::QueueChoice(0);
  ExpectMessages(RunCommand("mKestrinUser/Import", file),
                 {Completed("Import process has completed.\n\n"
                            "Kestrin users added: 0, updated: 4, skipped: 0.")});
  ASSERT_EQ(host.ContactCount(), 5u);
  Record john = users[0];
  john.type = 4;
  EXPECT_EQ(ReadUser(host.Contacts().back()), john);

  // Add as New: every line a new contact, as the file has it.
  testhost::QueueChoice(2);
  ExpectMessages(RunCommand("mKestrinUser/Import", file),
                 {Completed("Import process has completed.\n\n"
                            "Kestrin users added: 4, updated: 0, skipped: 0.")});
  ASSERT_EQ(host.ContactCount(), 9u);
  const auto imported = NewestInFileOrder(4);
  for (std::size_t i = 0; i < 3; ++i) {
    const Record& original = i == 2 ? john : users[2 - i];  // the file follows the walk
    EXPECT_EQ(ReadUser(imported[i]), original);
    EXPECT_EQ(host.Text(imported[i], "CList", "MyHandle"), original.first + " " + original.last);
  }
  EXPECT_EQ(testhost::Choices().size(), 4u);
}

// Undo removes exactly the Kestrin users the last import created, after a
// restart too: not the ones it updated, nor one saved in the editor since.
TEST_F(CsvExchangeTest, UndoRemovesWhatTheLastImportCreatedAndNothingElse) {
  const ContactHandle john = AddUser({"John", "Smith", "Johnny"});
  host.AddForeignContact("ICQ");
  EXPECT_EQ(Undo()[0].text, "There is no import to undo.");
  const std::string file = folder.File("in.csv");
  testhost::WriteFileBytes(
      file, kHeader + "John;Smith;J2\r\nAnn;Lee;;\r\nBob;;;\r\nEve;;;\r\n;;;\r\nZed;;;\r\n");
  testhost::QueueChoice(0);
  ExpectMessages(RunCommand("mKestrinUser/Import", file),
                 {{"Invalid or empty full user name.", "Error", 0x10},
                  Completed("Import process has not completed.\nLine 6 has no name.\n\n"
                            "Kestrin users added: 3, updated: 1, skipped: 0.")});
  ASSERT_EQ(host.ContactCount(), 5u);
  const std::vector<ContactHandle> added = NewestInFileOrder(3);  // Ann, Bob, Eve
  Reload();
  WriteContactDetails(added[1], ReadContactDetails(added[1]));  // the editor's save of Bob

  testhost::QueueYesNo(false);
  EXPECT_EQ(Undo()[0].text,
            "Remove the 2 Kestrin users that the import of " + file + " on " +
                shell::LocalTimeText(host.Number(0, kModuleName, "LastImportTime").value_or(0)) +
                " added?\n\nKestrin users that it updated, and those edited since, stay.");
  EXPECT_EQ(host.ContactCount(), 5u);
  testhost::QueueYesNo(true);
  const auto shown = Undo();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].flags, 0x24u);
  EXPECT_EQ(shown[1].text, "Kestrin users removed: 2");
  const std::vector<ContactHandle> left = host.Contacts();
  EXPECT_EQ(left.size(), 3u);
  EXPECT_EQ(std::count(left.begin(), left.end(), john), 1);
  EXPECT_EQ(std::count(left.begin(), left.end(), added[1]), 1);
  EXPECT_EQ(ReadUser(john).nick, "J2");
  EXPECT_EQ(Undo()[0].text, "There is no import to undo.");
}

// A cancelled import counts what it did; a cancelled undo keeps the rest to undo.
TEST_F(CsvExchangeTest, CancelledImportAndUndoCountWhatTheyDid) {
  AddUser({"User0", "Last", ""});
  const std::string path = folder.File("in.csv");
  testhost::WriteFileBytes(path, NumberedUsers(100));
  testhost::QueueChoice(1);
  testhost::SetProgressCancelAt(1);
  {
    ProgressShown progress(0, "Importing", std::chrono::milliseconds(0));
    ImportFile(path, "Kestrin Users", progress);
  }
  ExpectMessages(testhost::ShownMessages(),
                 {Completed("Import process was cancelled.\n\nKestrin users imported: 15\n\n"
                            "Kestrin users added: 15, updated: 0, skipped: 1.")});
  ASSERT_EQ(host.ContactCount(), 16u);
  // Again, all of it: the 16 stored are skipped, 84 added.
  testhost::ResetNativeShell();
  testhost::QueueChoice(1);
  {
    ProgressShown progress(0, "Importing", std::chrono::milliseconds(0));
    ImportFile(path, "Kestrin Users", progress);
  }
  ASSERT_EQ(host.ContactCount(), 100u);
  for (const std::size_t cancelAt : {1u, 0u}) {
    testhost::ResetNativeShell();
    testhost::QueueYesNo(true);
    testhost::SetProgressCancelAt(cancelAt);
    ProgressShown progress(0, "Removing", std::chrono::milliseconds(0));
    UndoLastImport("Kestrin Users", progress);
    EXPECT_EQ(testhost::ShownMessages().back().text,
              cancelAt != 0 ? "Kestrin users removed: 16" : "Kestrin users removed: 68");
  }
  ASSERT_EQ(host.ContactCount(), 16u);
  EXPECT_EQ(ReadUser(host.Contacts().back()).first, "User0");
}

TEST_F(CsvExchangeTest, AddressBooksAndVCardsImportByTheRecordRules) {
  const ShownMessage invalidName{"Invalid or empty full user name.", "Error", 0x10};
  // An address book's comma file: a display name stands in for missing names.
  ExpectMessages(Import("First Name,Last Name,Display Name,Nickname,Primary Email,Mobile Number\r\n"
                        "Ann,Lee,Ann L.,,ann@x.org,0171 1\r\n"
                        ",,\"Kim Park, Dr.\",Kimmy,,\r\n"
                        ",,,,nobody@x.org,\r\n"
                        "Never,Read,,,,\r\n"),
                 {invalidName, Stopped("Line 4 has no name.")});
  ASSERT_EQ(host.ContactCount(), 2u);
  std::vector<ContactHandle> read = NewestInFileOrder(2);
  EXPECT_EQ(ReadUser(read[0]), Record("Ann", "Lee", "Ann Lee", 0, "ann@x.org", "0171 1"));
  EXPECT_EQ(ReadUser(read[1]), Record("Kim", "Park, Dr.", "Kimmy"));
  EXPECT_EQ(host.Text(read[1], "CList", "MyHandle"), "Kim Park, Dr.");

  // A vCard file, whatever its name; a card without any name stops the import
  // at the line of its BEGIN, folded lines counted.
  Restart();
  ExpectMessages(Import("\r\nBEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann;;;\r\nFN:Ann Lee\r\n"
                        "NOTE:folded\r\n over\r\n lines\r\n"
                        "TEL;TYPE=HOME:1\r\nTEL;TYPE=CELL:2\r\nCATEGORIES:Family\r\nEND:VCARD\r\n"
                        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Bo Ek\r\nEND:VCARD\r\n"
                        "BEGIN:VCARD\r\nVERSION:3.0\r\nEMAIL:x@y\r\nEND:VCARD\r\n"
                        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Never Read\r\nEND:VCARD\r\n"),
                 {invalidName, Stopped("Line 17 has no name.")});
  ASSERT_EQ(host.ContactCount(), 2u);
  read = NewestInFileOrder(2);
  EXPECT_EQ(ReadUser(read[0]), Record("Ann", "Lee", "Ann Lee", 1, "", "2"));
  EXPECT_EQ(host.Text(read[0], "mKestrinUser", "Cellular"), "2 SMS");
  EXPECT_EQ(ReadUser(read[1]), Record("Bo", "Ek", "Bo Ek"));

  // A quoted value left open stops the import at the line where it began.
  Restart();
  ExpectFileFailure(Import("Given Name\tFamily Name\nA\tB\n\"C\tD\nE\tF\n"),
                    "Import process has not completed.", folder.File("in.csv"),
                    "Line 3: a quoted value is not closed.");
  EXPECT_EQ(host.ContactCount(), 1u);
}

TEST_F(CsvExchangeTest, GroupsAreMadeOnceEachOuterFirstAndContactsNameThem) {
  host.AddGroup("Family");
  host.AddGroup(
      "\xC3\x9C"
      "bung");
  const std::string file =
      "Given Name,Family Name,Labels\r\n"
      "A,One,* myContacts ::: family ::: Chess club\r\n"
      "B,Two,Work\\Team ::: * starred\r\n"
      "C,Three,\xC3\xBC"
      "BUNG\r\n"
      "D,Four, work \\ TEAM\\Kids\r\n"
      "E,Five,* starred\r\n";
  const std::vector<std::string> groups = {"Family",
                                           "\xC3\x9C"
                                           "bung",
                                           "Work", "Work\\Team", "Work\\Team\\Kids"};
  for (int round = 0; round < 2; ++round) {  // the second, added anew, makes no group again
    if (round == 1) testhost::QueueChoice(2);
    ExpectMessages(Import(file),
                   {Completed(round == 0 ? "Import process has completed."
                                         : "Import process has completed.\n\n"
                                           "Kestrin users added: 5, updated: 0, skipped: 0.")});
    EXPECT_EQ(host.Groups(), groups);
    const auto read = NewestInFileOrder(5);
    const std::optional<std::string> named[] = {"Family", "Work\\Team", groups[1],
                                                "Work\\Team\\Kids", std::nullopt};
    for (std::size_t i = 0; i < read.size(); ++i)
      EXPECT_EQ(host.Utf8Text(read[i], "CList", "Group"), named[i]) << i;
    EXPECT_EQ(ReadUser(read[0]).type, 1);
  }
  // Hundreds of categories, a very long one and one of control characters:
  // every contact comes in, each group is made once.
  Restart();
  std::string many = "First Name,Categories\r\n";
  for (int i = 0; i < 300; ++i) many += "N,G" + std::to_string(i % 150) + ";Family\r\n";
  ExpectMessages(Import(many + "L," + std::string(10000, 'x') + "\r\nC,\"\x01\tz\x7F\"\r\n"),
                 {Completed("Import process has completed.")});
  EXPECT_EQ(host.ContactCount(), 302u);
  const std::vector<std::string> made = host.Groups();
  ASSERT_EQ(made.size(), 152u);
  EXPECT_EQ(made[149], "G149");
  EXPECT_EQ(made[150], std::string(126, 'x'));
  EXPECT_EQ(made[151], "z");
}

TEST_F(CsvExchangeTest, ExportCarriesTheGroupsAndImportMakesThemAgain) {
  // The groups' own settings are gone: the contacts' names of them are what counts.
  auto addUsers = [this] {
    host.AddKestrinUser({"Ann", "Ann", "Lee", 1, "", "", "", 0, "Family"});
    const ContactHandle bo = host.AddKestrinUser({"Bo", "Bo", "Ek", 0, "", "", ""});
    host.SetUtf8(bo, "CList", "Group", "Work\\Team;\xCE\xA9");
    host.AddKestrinUser({"Cy", "Cy", "Do", 0, "", "", ""});
  };
  for (std::size_t filter : {0, 1}) {
    SCOPED_TRACE(filter);
    Restart();
    addUsers();
    const std::string file = folder.File(filter == 0 ? "groups.csv" : "groups.vcf");
    RunCommand("mKestrinUser/Export", file, filter);
    if (filter == 0) {
      EXPECT_EQ(testhost::ReadFileBytes(file),
                "\xEF\xBB\xBF" + std::string(kHeaderLine) + ";Categories\r\nCy;Do;Cy;0;;;;\r\n" +
                    "Bo;Ek;Bo;0;;;;\"Work\\Team;\xCE\xA9\"\r\nAnn;Lee;Ann;1;;;;Family\r\n");
    }
    Restart();
    host.AddGroup("family");
    ExpectMessages(RunCommand("mKestrinUser/Import", file),
                   {Completed("Import process has completed.")});
    EXPECT_EQ(host.Groups(), (std::vector<std::string>{"family", "Work", "Work\\Team;\xCE\xA9"}));
    const auto read = NewestInFileOrder(3);
    EXPECT_EQ(host.Utf8Text(read[0], "CList", "Group"), std::nullopt);
    EXPECT_EQ(host.Utf8Text(read[1], "CList", "Group"), "Work\\Team;\xCE\xA9");
    EXPECT_EQ(host.Utf8Text(read[2], "CList", "Group"), "family");
  }
}

TEST_F(CsvExchangeTest, VCardExportReadsBackIdentical) {
  const Record users[] = {
      {"J\xC3\xBCrgen", "M\xC3\xBCller", "J\xC3\xBC", 1, "j@x.de", "+49 171", "http://x.de/a,b;c"},
      {"\xE7\x8E\x8B", "\xE5\xB0\x8F\xE6\x98\x8E", "Wang, \"Xiao\"; Ming", 4},
      {"Ann", "Lee", "two\r\nlines \\ and more " + std::string(90, 'x'), 0, "", "0171 555"},
      {"Bob", "", "B", 5, "", "", "w"},
  };
  for (const Record& user : users) AddUser(user);
  host.AddForeignContact("ICQ");
  const std::string file = folder.File("phone.vcf");
  ExpectMessages(RunCommand("mKestrinUser/Export", file, 1),
                 {Completed("Export process has completed.")});
  const std::string written = testhost::ReadFileBytes(file);
  EXPECT_EQ(written.rfind("BEGIN:VCARD\r\nVERSION:3.0\r\n", 0), 0u);
  EXPECT_EQ(written.find(kHeaderLine), std::string::npos);

  Restart();
  ExpectMessages(RunCommand("mKestrinUser/Import", file),
                 {Completed("Import process has completed.")});
  ASSERT_EQ(host.ContactCount(), 4u);
  const auto imported = NewestInFileOrder(4);
  for (std::size_t i = 0; i < imported.size(); ++i) {
    const Record& original = users[3 - i];  // the file follows the walk, newest first
    EXPECT_EQ(ReadUser(imported[i]), original);
    EXPECT_EQ(host.Text(imported[i], "CList", "MyHandle"), original.first + " " + original.last);
  }
}

// What a stored value becomes in the file: line breaks and byte 26 turn into
// blanks, and inside quotes a quote before a semicolon gets a blank after it.
std::string Carried(std::string value) {
  for (char& c : value)
    if (c == '\r' || c == '\n' || c == '\x1a') c = ' ';
  if (value.find(';') == std::string::npos && (value.empty() || value[0] != '"')) return value;
  std::string bent;
  for (std::size_t i = 0; i < value.size(); ++i) {
    bent += value[i];
    if (value[i] == '"' && i + 1 < value.size() && value[i + 1] == ';') bent += ' ';
  }
  return bent;
}

TEST_F(CsvExchangeTest, EveryExportedUserComesBackWithItsSevenColumns) {
  std::mt19937 random(20240611);
  const std::string alphabet = std::string("aZ9 ;\";\"\t\r\n\x1a\xE9-@", 15);
  auto value = [&] {
    std::string text(random() % 9, ' ');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    return text;
  };
  std::vector<Record> users;
  for (int i = 0; i < 400; ++i) {
    Record r{value(), value(), value(), static_cast<int32_t>(random()), value(), value(), value()};
    // A full name and nick of blanks alone would take the name rules' other ways.
    if (IsBlank(Carried(r.first))) r.first += "x";
    if (IsBlank(Carried(r.nick))) r.nick += "n";
    users.push_back(r);
    AddUser(r);
    if (i % 50 == 0) host.AddForeignContact("ICQ");
  }
  const std::string file = folder.File("nasty.csv");
  ExpectMessages(RunCommand("mKestrinUser/Export", file),
                 {Completed("Export process has completed.")});

  // Line level: one line per user, seven columns as carried.
  const std::string bytes = testhost::ReadFileBytes(file);
  MemorySource source(bytes);
  LineReader reader(source);
  std::string_view line;
  ASSERT_TRUE(reader.Next(line));
  const TitleMap map = ReadTitles(SplitFields(line), kSemicolon);
  std::size_t index = users.size();
  while (reader.Next(line)) {
    ASSERT_GT(index, 0u) << "more lines than users";
    const Record& r = users[--index];  // the walk yields the newest first
    const FieldList fields = SplitFields(line);
    const ImportValues values = TakeValues(fields, map);
    EXPECT_EQ(values.first, Carried(r.first));
    EXPECT_EQ(values.last, Carried(r.last));
    EXPECT_EQ(values.nick, Carried(r.nick));
    EXPECT_EQ(values.type, std::to_string(r.type));
    EXPECT_EQ(values.email, Carried(r.mail));
    EXPECT_EQ(values.mobile, Carried(r.mobile));
    EXPECT_EQ(values.web, Carried(r.web)) << line;
    EXPECT_LE(fields.size(), 7u) << line;
  }
  EXPECT_EQ(index, 0u) << "fewer lines than users";

  // Database level: the import makes one user of each line.
  Restart();
  const std::size_t before = host.ContactCount();
  ExpectMessages(RunCommand("mKestrinUser/Import", file),
                 {Completed("Import process has completed.")});
  ASSERT_EQ(host.ContactCount(), before + users.size());
  const auto imported = NewestInFileOrder(users.size());
  for (std::size_t i = 0; i < users.size(); ++i) {
    const Record& r = users[users.size() - 1 - i];
    const Record expected{Trim(Carried(r.first)), Trim(Carried(r.last)), Carried(r.nick), r.type,
                          Carried(r.mail),        Carried(r.mobile),     Carried(r.web)};
    EXPECT_EQ(ReadUser(imported[i]), expected);
  }
}

TEST_F(CsvExchangeTest, OrdinaryValuesComeBackExactly) {
  std::mt19937 random(7);
  const std::string alphabet = "abcXYZ019 .-_@:/\"'\t\xC4\xF6";
  auto value = [&](bool nonBlank) {
    std::string text(random() % 12, ' ');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    if (!text.empty() && text[0] == '"') text[0] = 'q';
    if (nonBlank && IsBlank(text)) text += 'k';
    return text;
  };
  std::vector<Record> users;
  for (int i = 0; i < 300; ++i) {
    Record r{Trim(value(true)), Trim(value(false)), value(true), static_cast<int32_t>(random()),
             value(false),      value(false),       value(false)};
    users.push_back(r);
    AddUser(r);
  }
  const std::string file = folder.File("plain.csv");
  RunCommand("mKestrinUser/Export", file);
  Restart();
  RunCommand("mKestrinUser/Import", file);
  const auto imported = NewestInFileOrder(users.size());
  for (std::size_t i = 0; i < users.size(); ++i)
    EXPECT_EQ(ReadUser(imported[i]), users[users.size() - 1 - i]);
}

// Pieces of names: ASCII, letters of code page 1252, and letters outside it,
// in the Basic Multilingual Plane and beyond it.
const std::vector<std::string> kAsciiPieces = {"a", "Z", "9", " ", "-", "@", "."};
const std::vector<std::string> kCodePagePieces = {"\xC3\xBC", "\xC3\x86", "\xE2\x82\xAC",
                                                  "\xC5\x93", "\xC3\x9F"};  // ü Æ € œ ß
const std::vector<std::string> kOutsidePieces = {"\xCE\xA9", "\xD0\x96", "\xE6\x9D\x8E",
                                                 "\xF0\x9F\x98\x80", "\xF0\x9D\x84\x9E"};

// The users' texts as another tool or the host stores them: UTF-8.
ContactHandle AddUtf8User(testhost::TestHost& host, const Record& r) {
  const ContactHandle contact = host.AddKestrinContact();
  host.SetUtf8(contact, kModuleName, "FirstName", r.first);
  host.SetUtf8(contact, kModuleName, "LastName", r.last);
  host.SetUtf8(contact, kModuleName, "Nick", r.nick);
  host.SetDword(contact, kModuleName, "ContactType", static_cast<uint32_t>(r.type));
  host.SetUtf8(contact, kModuleName, "e-mail", r.mail);
  host.SetUtf8(contact, kModuleName, "AlternativeCellular", r.mobile);
  host.SetUtf8(contact, kModuleName, "Homepage", r.web);
  return contact;
}

std::string RecordLine(const Record& r) {
  return r.first + ";" + r.last + ";" + r.nick + ";" + std::to_string(r.type) + ";" + r.mail + ";" +
         r.mobile + ";" + r.web + "\r\n";
}

TEST_F(CsvExchangeTest, NamesInEveryScriptComeBackIdentical) {
  enum class Kind { Ascii, CodePage, OneOutsideLast, Mixed };
  std::mt19937 random(1010);
  for (Kind kind : {Kind::Ascii, Kind::CodePage, Kind::OneOutsideLast, Kind::Mixed}) {
    SCOPED_TRACE(static_cast<int>(kind));
    Restart();
    std::vector<std::string> pieces = kAsciiPieces;
    if (kind != Kind::Ascii)
      pieces.insert(pieces.end(), kCodePagePieces.begin(), kCodePagePieces.end());
    if (kind == Kind::Mixed)
      pieces.insert(pieces.end(), kOutsidePieces.begin(), kOutsidePieces.end());
    auto value = [&](bool nonBlank) {
      std::string text;
      for (std::size_t n = random() % 8; n > 0; --n) text += pieces[random() % pieces.size()];
      if (nonBlank && IsBlank(text)) text += "k";
      return text;
    };
    std::vector<Record> users;
    std::string expected;  // the file's lines in UTF-8, in the walk's order
    for (int i = 0; i < 150; ++i) {
      Record r{Trim(value(true)), Trim(value(false)), value(true), static_cast<int32_t>(random()),
               value(false),      value(false),       value(false)};
      // The oldest user comes last in the walk: the export learns late that
      // the code page is not enough.
      if (kind == Kind::OneOutsideLast && i == 0) r.last += kOutsidePieces[3];
      users.push_back(r);
      AddUtf8User(host, r);
      expected = RecordLine(r) + expected;
    }
    const std::string file = folder.File("scripts.csv");
    ExpectMessages(RunCommand("mKestrinUser/Export", file),
                   {Completed("Export process has completed.")});
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"scripts.csv"});
    const std::string bytes = testhost::ReadFileBytes(file);
    expected = kHeader + expected;
    if (kind == Kind::Ascii || kind == Kind::CodePage)
      EXPECT_EQ(bytes, testhost::EncodeCp1252(expected).value_or("?")) << "as it always was";
    else
      EXPECT_EQ(bytes, "\xEF\xBB\xBF" + expected) << "UTF-8 with its mark";

    Restart();
    ExpectMessages(RunCommand("mKestrinUser/Import", file),
                   {Completed("Import process has completed.")});
    const auto imported = NewestInFileOrder(users.size());
    for (std::size_t i = 0; i < users.size(); ++i) {
      const Record& r = users[users.size() - 1 - i];
      auto text = [&](const char* module, const char* setting) {
        return host.Utf8Text(imported[i], module, setting).value_or("");
      };
      const Record back{
          text(kModuleName, "FirstName"),
          text(kModuleName, "LastName"),
          text(kModuleName, "Nick"),
          static_cast<int32_t>(host.Number(imported[i], kModuleName, "ContactType").value_or(0)),
          text(kModuleName, "e-mail"),
          text(kModuleName, "AlternativeCellular"),
          text(kModuleName, "Homepage")};
      EXPECT_EQ(back, r);
      EXPECT_EQ(text("CList", "MyHandle"), r.first + " " + r.last);
    }
  }
}

TEST_F(CsvExchangeTest, ImportReadsTheFileByWhatItHolds) {
  const std::u16string names = u"M\u00FCller;\u03A9\u03BC\u03AD\u03B3\u03B1;\U0001F600\r\n";
  const std::string utf8 =
      "M\xC3\xBCller;\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1;\xF0\x9F\x98\x80\r\n";
  const std::u16string utf16 = u"First Name;Last Name;Name\r\n" + names;
  const std::pair<const char*, std::string> files[] = {
      {"UTF-8 with its mark", "\xEF\xBB\xBF" + kHeader + utf8},
      {"UTF-8 without a mark", kHeader + utf8},
      {"UTF-16 little-endian", testhost::Utf16FileBytes(utf16, true)},
      {"UTF-16 big-endian", testhost::Utf16FileBytes(utf16, false)},
  };
  for (const auto& [title, bytes] : files) {
    SCOPED_TRACE(title);
    Restart();
    ExpectMessages(Import(bytes), {Completed("Import process has completed.")});
    const ContactHandle contact = host.Contacts().front();
    EXPECT_EQ(host.Get(contact, kModuleName, "FirstName"),
              (testhost::Value{DBVT_ASCIIZ, 0, "M\xFCller"}));
    EXPECT_EQ(host.Get(contact, kModuleName, "LastName"),
              (testhost::Value{DBVT_UTF8, 0, "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1"}));
    EXPECT_EQ(host.Get(contact, kModuleName, "Nick"),
              (testhost::Value{DBVT_UTF8, 0, "\xF0\x9F\x98\x80"}));
  }
  // The code page, as files without a mark always were.
  ExpectMessages(Import(kHeader + "M\xFCller;\x80;Ren\xE9\r\n"),
                 {Completed("Import process has completed.")});
  EXPECT_EQ(ReadUser(host.Contacts().front()), Record("M\xFCller", "\x80", "Ren\xE9"));
}

}  // namespace

// The example file shipped to users imports completely, by the rules its
// readme describes.
TEST_F(CsvExchangeTest, ShippedExampleFileImports) {
  const char* source = std::getenv("KESTRIN_SOURCE_DIR");
  ASSERT_NE(source, nullptr) << "KESTRIN_SOURCE_DIR is not set";
  const std::string path = std::string(source) + "/docs/user/kestrin-users-example.csv";
  ExpectMessages(RunCommand("mKestrinUser/Import", path),
                 {Completed("Import process has completed.")});
  const std::vector<ContactHandle> contacts = NewestInFileOrder(6);
  ASSERT_EQ(host.ContactCount(), 6u);
  EXPECT_EQ(ReadUser(contacts[0]),
            Record("Lena", "Fischer", "Lenny", 1, "lena.fischer@example.com", "0171 555 0111"));
  EXPECT_EQ(ReadUser(contacts[2]),
            Record("Jean", "Paul Sartre", "Jean Paul Sartre", 2, "", "0171 555 0112"));
  EXPECT_EQ(ReadUser(contacts[4]).last, "Smith; Jr.");
  for (int type = 0; type < 6; ++type) {
    const bool present = std::any_of(contacts.begin(), contacts.end(), [&](ContactHandle c) {
      return host.Number(c, kModuleName, "ContactType") == static_cast<uint32_t>(type);
    });
    EXPECT_TRUE(present) << "no example of contact type " << type;
  }
}
