// The contact record rules: ownership, status by contact type, full-name
// splitting and joining, and the create, numbering and update sequences.
#include "records/KestrinUserU.h"

#include <string>
#include <vector>

#include "core_test_support.h"

namespace {

using ::testing::ElementsAre;

class RecordTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    Attach();
  }

  // Every detail given, type 2 (Friends: do not disturb while online).
  static ContactDetails FullDetails(const std::string& email) {
    ContactDetails details;
    details.nick = "Johnny";
    details.first = "John";
    details.last = "Smith";
    details.contactType = 2;
    details.email = email;
    details.homepage = "http://example.org/";
    details.mobile = "0171 555";
    details.address = 0xC0A80001;
    return details;
  }
};

TEST_F(RecordTest, OnlyTheExactModuleNameMakesAKestrinUser) {
  struct Case {
    const char* what;
    ContactHandle contact;
    bool own;
  };
  host.RegisterProtocol("mkestrinuser");
  host.RegisterProtocol("MKESTRINUSER");
  const ContactHandle lower = host.AddContact();
  host.SetString(lower, "Protocol", "p", "mkestrinuser");
  const ContactHandle upper = host.AddContact();
  host.SetString(upper, "Protocol", "p", "MKESTRINUSER");
  const ContactHandle unregistered = host.AddContact();
  host.SetString(unregistered, "Protocol", "p", "Gone");
  const ContactHandle longer = host.AddContact();
  host.SetString(longer, "Protocol", "p", "mKestrinUserX");
  const ContactHandle kestrinUser = host.AddKestrinContact();
  // Settings in the plug-in's module do not make a contact its own.
  const ContactHandle foreign = host.AddForeignContact("ICQ");
  host.SetDword(foreign, kModule, "UserID", 3);
  const Case cases[] = {
      {"Kestrin user", kestrinUser, true},
      {"other letter case", lower, false},
      {"upper case", upper, false},
      {"longer name", longer, false},
      {"another protocol", foreign, false},
      {"no base protocol", host.AddContact(), false},
      {"protocol not loaded", unregistered, false},
      {"module-level settings", 0, false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsOwnContact(c.contact), c.own) << c.what;
}

TEST_F(RecordTest, StatusFollowsTheContactTypeOnlyWhileOnline) {
  struct Case {
    bool stored;
    uint32_t type;
    uint16_t online;
  };
  const Case cases[] = {
      {false, 0, 40072}, {true, 0, 40072},     {true, 1, 40073},          {true, 2, 40074},
      {true, 3, 40075},  {true, 4, 40076},     {true, 5, 40077},          {true, 6, 40072},
      {true, 7, 40072},  {true, 65536, 40072}, {true, 0xFFFFFFFF, 40072},
  };
  for (const Case& c : cases) {
    const ContactHandle contact = host.AddKestrinContact();
    if (c.stored) host.SetDword(contact, kModule, "ContactType", c.type);
    SCOPED_TRACE(testing::Message() << "type " << static_cast<int32_t>(c.type));
    for (uint32_t online : {40072u, 40073u, 40078u, 40080u})
      EXPECT_EQ(StatusForContact(online, contact), c.online) << "protocol " << online;
    for (uint32_t offline : {40071u, 0u, 40070u, 40081u, 0xFFFFFFFFu})
      EXPECT_EQ(StatusForContact(offline, contact), 40071) << "protocol " << offline;
  }
}

TEST_F(RecordTest, OfflineStatusReadsNothing) {
  const ContactHandle contact = host.AddKestrinContact();
  host.SetDword(contact, kModule, "ContactType", 2);
  const std::size_t reads = host.CallCount("DB/Contact/GetSetting");
  EXPECT_EQ(StatusForContact(ID_STATUS_OFFLINE, contact), ID_STATUS_OFFLINE);
  EXPECT_EQ(host.CallCount("DB/Contact/GetSetting"), reads);
}

TEST(FullNameTest, SplitsAtTheFirstBlankAndTrimsBothParts) {
  struct Case {
    std::string full;
    std::string first;
    std::string last;
  };
  const Case cases[] = {
      {"John Smith", "John", "Smith"},
      {"Jean Paul Sartre", "Jean", "Paul Sartre"},
      {"Anna", "Anna", ""},
      {"John   Smith", "John", "Smith"},
      {" Anna Lee", "", "Anna Lee"},
      {"", "", ""},
      {" ", "", ""},
      // Tabs are trimmed, but only a blank splits.
      {"\tAnna\t", "Anna", ""},
      {"Anna\tLee Smith\t", "Anna\tLee", "Smith"},
      {"John \x01Smith\x1F", "John", "Smith"},
      // Characters above 32 stay, also those with the high bit set.
      {"\xA0Jos\xE9 M\xFCller\xA0", "\xA0Jos\xE9", "M\xFCller\xA0"},
  };
  for (const Case& c : cases) {
    const FullNameParts parts = SplitFullName(c.full);
    EXPECT_EQ(parts.first, c.first) << '"' << c.full << '"';
    EXPECT_EQ(parts.last, c.last) << '"' << c.full << '"';
  }
}

TEST(FullNameTest, LastNameKeepsAtMost255Characters) {
  const std::string tail300 = std::string(200, 'a') + std::string(100, 'b');
  FullNameParts parts = SplitFullName("John " + tail300);
  EXPECT_EQ(parts.first, "John");
  EXPECT_EQ(parts.last, tail300.substr(0, 255));
  // The cut comes before the trimming: blanks inside the 255 are trimmed away.
  parts = SplitFullName("John " + std::string(250, ' ') + "Smith" + "Jones");
  EXPECT_EQ(parts.last, "Smith");
  parts = SplitFullName("John " + std::string(255, 'x'));
  EXPECT_EQ(parts.last, std::string(255, 'x'));
}

TEST(FullNameTest, JoinPutsOneBlankBetweenAndTrims) {
  EXPECT_EQ(JoinFullName("John", "Smith"), "John Smith");
  EXPECT_EQ(JoinFullName("John", ""), "John");
  EXPECT_EQ(JoinFullName("", "Smith"), "Smith");
  EXPECT_EQ(JoinFullName("", ""), "");
  EXPECT_EQ(JoinFullName("Jean", "Paul Sartre"), "Jean Paul Sartre");
  EXPECT_EQ(JoinFullName(" John\t", "\tSmith "), "John\t \tSmith");
}

TEST(TrimTest, RemovesCodes32AndBelowOnly) {
  EXPECT_EQ(Trim(" \t\r\n\x01x y\x1F "), "x y");
  EXPECT_EQ(Trim("\xFF\x80x\xA0"), "\xFF\x80x\xA0");
  EXPECT_EQ(Trim("\x21"), "\x21");
  EXPECT_TRUE(IsBlank(""));
  EXPECT_TRUE(IsBlank(" \t\x01\x20"));
  EXPECT_FALSE(IsBlank("  \xA0 "));
  EXPECT_FALSE(IsBlank(" ! "));
}

TEST_F(RecordTest, CreateWritesProtocolThenDisplayNameOnANewFirstContact) {
  host.AddContact();
  const ContactHandle contact = CreateContactEntry("  John Smith ");
  ASSERT_NE(contact, 0u);
  EXPECT_EQ(host.Contacts().front(), contact);
  EXPECT_THAT(TakeWrites(), ElementsAre(TextWrite(contact, "Protocol/0", "Ignore"),
                                        TextWrite(contact, "Protocol/p", "mKestrinUser"),
                                        TextWrite(contact, "CList/MyHandle", "  John Smith ")));
  EXPECT_TRUE(IsOwnContact(contact));
}

// The import's creation; every value it writes is stored.
ContactHandle CreateImported(const std::string& displayName, const ContactDetails& details) {
  bool stored = false;
  ContactGroups groups;
  const ContactHandle contact = CreateImportedContact(displayName, details, groups, stored);
  EXPECT_TRUE(stored || contact == 0);
  return contact;
}

TEST_F(RecordTest, FailedCreateWritesNothing) {
  host.SetFailContactAdd(true);
  EXPECT_EQ(CreateContactEntry("John"), 0u);
  EXPECT_EQ(CreateImported("John", ContactDetails{}), 0u);
  EXPECT_TRUE(TakeWrites().empty());
  EXPECT_EQ(host.ContactCount(), 0u);
}

// The contact list takes in a contact when its protocol is written: the import
// writes that last, and works out the status from the type it has in hand.
TEST_F(RecordTest, ImportedContactGetsItsProtocolLastAndNoReadBack) {
  CurrentStatus = ID_STATUS_ONLINE;
  ContactDetails details = FullDetails("j@x.org");  // the address is not written: no column
  const std::size_t reads = host.CallCount("DB/Contact/GetSetting");
  const ContactHandle contact = CreateImported("John Smith", details);
  ASSERT_NE(contact, 0u);
  EXPECT_THAT(TakeWrites(),
              ElementsAre(TextWrite(contact, "mKestrinUser/Nick", "Johnny"),
                          TextWrite(contact, "mKestrinUser/FirstName", "John"),
                          TextWrite(contact, "mKestrinUser/LastName", "Smith"),
                          TextWrite(contact, "mKestrinUser/e-mail", "j@x.org"),
                          TextWrite(contact, "mKestrinUser/Cellular", "0171 555 SMS"),
                          TextWrite(contact, "mKestrinUser/AlternativeCellular", "0171 555"),
                          TextWrite(contact, "mKestrinUser/Homepage", "http://example.org/"),
                          DwordWrite(contact, "mKestrinUser/ContactType", 2),
                          WordWrite(contact, "UserOnline/OldStatus", 40074),
                          WordWrite(contact, "mKestrinUser/Status", 40074),
                          TextWrite(contact, "Protocol/0", "Ignore"),
                          TextWrite(contact, "CList/MyHandle", "John Smith"),
                          TextWrite(contact, "Protocol/p", "mKestrinUser")));
  EXPECT_EQ(host.CallCount("DB/Contact/GetSetting"), reads);
  EXPECT_TRUE(IsOwnContact(contact));

  // Empty optional texts are left out; offline every contact is offline.
  CurrentStatus = ID_STATUS_OFFLINE;
  details.email.clear();
  details.homepage.clear();
  details.mobile.clear();
  details.contactType = -1;
  const ContactHandle plain = CreateImported(" Ann", details);
  EXPECT_THAT(TakeWrites(), ElementsAre(TextWrite(plain, "mKestrinUser/Nick", "Johnny"),
                                        TextWrite(plain, "mKestrinUser/FirstName", "John"),
                                        TextWrite(plain, "mKestrinUser/LastName", "Smith"),
                                        DwordWrite(plain, "mKestrinUser/ContactType", 4294967295u),
                                        WordWrite(plain, "UserOnline/OldStatus", 40071),
                                        WordWrite(plain, "mKestrinUser/Status", 40071),
                                        TextWrite(plain, "Protocol/0", "Ignore"),
                                        TextWrite(plain, "CList/MyHandle", " Ann"),
                                        TextWrite(plain, "Protocol/p", "mKestrinUser")));
}

TEST_F(RecordTest, NewNumberGoesToTheFloorFirstThenToTheContact) {
  const ContactHandle contact = host.AddKestrinContact();
  LastUserID = 8;
  AssignUserId(contact);
  EXPECT_EQ(LastUserID, 9);
  EXPECT_THAT(TakeWrites(), ElementsAre(DwordWrite(0, "mKestrinUser/UserID", 9),
                                        DwordWrite(contact, "mKestrinUser/UserID", 9)));
}

TEST_F(RecordTest, DetailsAreWrittenInOrderAndEndWithTheStatusPair) {
  const ContactHandle contact = host.AddKestrinContact();
  CurrentStatus = ID_STATUS_ONLINE;
  const ContactDetails details = FullDetails("  ");  // blanks are a text, written unchanged
  WriteContactDetails(contact, details);
  EXPECT_THAT(TakeWrites(),
              ElementsAre(TextWrite(contact, "mKestrinUser/Nick", "Johnny"),
                          TextWrite(contact, "mKestrinUser/FirstName", "John"),
                          TextWrite(contact, "mKestrinUser/LastName", "Smith"),
                          DwordWrite(contact, "mKestrinUser/ContactType", 2),
                          TextWrite(contact, "mKestrinUser/e-mail", "  "),
                          TextWrite(contact, "mKestrinUser/Homepage", "http://example.org/"),
                          TextWrite(contact, "mKestrinUser/Cellular", "0171 555 SMS"),
                          TextWrite(contact, "mKestrinUser/AlternativeCellular", "0171 555"),
                          DwordWrite(contact, "mKestrinUser/RealIP", 0xC0A80001),
                          WordWrite(contact, "UserOnline/OldStatus", 40074),
                          WordWrite(contact, "mKestrinUser/Status", 40074)));
}

TEST_F(RecordTest, TextsTooLongForTheDatabaseAreStoredCutAndRefusalsAreTold) {
  const ContactHandle contact = host.AddKestrinContact();
  ContactDetails details;
  details.nick = std::string(100000, 'n');
  details.first = std::string(kMaxStoredText + 1, 'f');
  details.last = std::string(kMaxStoredText, 'l');
  EXPECT_TRUE(WriteContactDetails(contact, details));
  EXPECT_EQ(host.Text(contact, kModule, "Nick"), std::string(kMaxStoredText, 'n'));
  EXPECT_EQ(host.Text(contact, kModule, "FirstName"), std::string(kMaxStoredText, 'f'));
  EXPECT_EQ(host.Text(contact, kModule, "LastName"), details.last);
  // A contact the database does not have refuses every write.
  EXPECT_FALSE(WriteContactDetails(contact + 1, details));
}

TEST(StorableTextTest, CutsBetweenCharacters) {
  const std::string fits(kMaxStoredText, 'x');
  EXPECT_EQ(StorableText(fits, true), fits);
  const std::string accented = std::string(kMaxStoredText - 1, 'x') + "\xC3\xA9";
  EXPECT_EQ(StorableText(accented, true), std::string(kMaxStoredText - 1, 'x'));
  EXPECT_EQ(StorableText(accented, false), accented.substr(0, kMaxStoredText));
  const std::string chinese = std::string(kMaxStoredText - 2, 'x') + "\xE4\xB8\xAD";
  EXPECT_EQ(StorableText(chinese, true).size(), kMaxStoredText - 2);
}

TEST_F(RecordTest, EmptyOptionalDetailsAreDeletedAndNoSelectionIsStoredAsAllOnes) {
  const ContactHandle contact = host.AddKestrinContact();
  host.SetString(contact, kModule, "e-mail", "old@example.org");
  host.SetString(contact, kModule, "Cellular", "1 SMS");
  host.SetString(contact, kModule, "AlternativeCellular", "1");
  CurrentStatus = ID_STATUS_ONLINE;
  ContactDetails details;
  details.nick = "Anna";
  details.first = "Anna";
  details.contactType = -1;
  WriteContactDetails(contact, details);
  EXPECT_THAT(TakeWrites(),
              ElementsAre(TextWrite(contact, "mKestrinUser/Nick", "Anna"),
                          TextWrite(contact, "mKestrinUser/FirstName", "Anna"),
                          TextWrite(contact, "mKestrinUser/LastName", ""),
                          DwordWrite(contact, "mKestrinUser/ContactType", 4294967295u),
                          Deletion(contact, "mKestrinUser/e-mail"),
                          Deletion(contact, "mKestrinUser/Homepage"),
                          Deletion(contact, "mKestrinUser/Cellular"),
                          Deletion(contact, "mKestrinUser/AlternativeCellular"),
                          DwordWrite(contact, "mKestrinUser/RealIP", 0),
                          WordWrite(contact, "UserOnline/OldStatus", 40072),
                          WordWrite(contact, "mKestrinUser/Status", 40072)));
  EXPECT_FALSE(host.Has(contact, kModule, "e-mail"));
  EXPECT_FALSE(host.Has(contact, kModule, "Cellular"));
  EXPECT_FALSE(host.Has(contact, kModule, "AlternativeCellular"));
}

TEST_F(RecordTest, StatusPairFollowsTheProtocolStatusAndTheStoredType) {
  const ContactHandle contact = host.AddKestrinContact();
  host.SetDword(contact, kModule, "ContactType", 2);
  WriteContactStatus(contact);
  EXPECT_THAT(TakeWrites(), ElementsAre(WordWrite(contact, "UserOnline/OldStatus", 40071),
                                        WordWrite(contact, "mKestrinUser/Status", 40071)));
  CurrentStatus = ID_STATUS_ONLINE;
  WriteContactStatus(contact);
  EXPECT_THAT(TakeWrites(), ElementsAre(WordWrite(contact, "UserOnline/OldStatus", 40074),
                                        WordWrite(contact, "mKestrinUser/Status", 40074)));
}

}  // namespace

namespace {

// An update writes only what differs, only for the values the file has a
// column for, and deletes what an empty cell clears; the status pair follows
// a changed type.
TEST_F(RecordTest, UpdateWritesOnlyChangedValuesOfTheFilesColumns) {
  CurrentStatus = ID_STATUS_ONLINE;
  const ContactDetails stored = FullDetails("j@x.org");
  const ContactHandle contact = host.AddKestrinUser(stored, 7);
  host.SetString(contact, "CList", "MyHandle", "John Smith");
  host.SetWord(contact, kModule, "Status", 40074);
  host.SetDword(contact, kModule, "ImportId", 3);
  const StoredUser user = ReadStoredUser(contact);
  const unsigned all = kUpdateNick | kUpdateType | kUpdateEmail | kUpdateMobile | kUpdateHomepage;
  ContactGroups groups;
  host.ClearWrites();

  EXPECT_TRUE(UpdateImportedContact(user, "John Smith", stored, all, groups));
  EXPECT_TRUE(TakeWrites().empty()) << "every value equal: nothing rewritten";

  ContactDetails file = stored;
  file.first = "JOHN";
  file.nick.clear();  // no column: the nickname stays whatever the file says
  file.homepage.clear();
  file.mobile.clear();
  file.contactType = 0;
  EXPECT_TRUE(UpdateImportedContact(user, "JOHN Smith", file,
                                    kUpdateType | kUpdateEmail | kUpdateMobile | kUpdateHomepage,
                                    groups));
  EXPECT_THAT(TakeWrites(), ElementsAre(TextWrite(contact, "mKestrinUser/FirstName", "JOHN"),
                                        TextWrite(contact, "CList/MyHandle", "JOHN Smith"),
                                        Deletion(contact, "mKestrinUser/Homepage"),
                                        Deletion(contact, "mKestrinUser/Cellular"),
                                        Deletion(contact, "mKestrinUser/AlternativeCellular"),
                                        DwordWrite(contact, "mKestrinUser/ContactType", 0),
                                        WordWrite(contact, "UserOnline/OldStatus", 40072),
                                        WordWrite(contact, "mKestrinUser/Status", 40072)));
  // What no update touches: the number, the address, the mark, the nickname.
  EXPECT_EQ(host.Number(contact, kModule, "UserID"), 7u);
  EXPECT_EQ(host.Number(contact, kModule, "RealIP"), 0xC0A80001u);
  EXPECT_EQ(host.Number(contact, kModule, "ImportId"), 3u);
  EXPECT_EQ(host.Text(contact, kModule, "Nick"), "Johnny");

  // A group column moves the contact, its group made first; an equal one writes nothing.
  ContactDetails grouped = stored;
  grouped.group = "Work";
  EXPECT_TRUE(UpdateImportedContact(user, "John Smith", grouped, kUpdateGroup, groups));
  EXPECT_THAT(TakeWrites(), ElementsAre(::testing::StartsWith("0 CListGroups/0="),
                                        TextWrite(contact, "CList/Group", "Work")));
  EXPECT_TRUE(UpdateImportedContact(user, "John Smith", grouped, kUpdateGroup, groups));
  EXPECT_TRUE(TakeWrites().empty());
}

// The import's mark and the last import's record; the editor's save clears the mark.
TEST_F(RecordTest, ImportMarkIsWrittenBeforeTheProtocolAndTheEditorsSaveClearsIt) {
  bool stored = false;
  ContactGroups groups;
  const ContactHandle contact = CreateImportedContact("John", FullDetails(""), groups, stored, 5);
  ASSERT_TRUE(stored);
  const std::vector<std::string> writes = TakeWrites();
  ASSERT_GE(writes.size(), 2u);
  EXPECT_EQ(writes[writes.size() - 2], DwordWrite(contact, "mKestrinUser/ImportId", 5));
  EXPECT_EQ(ImportIdOf(contact), 5u);
  WriteContactDetails(contact, FullDetails(""));
  EXPECT_EQ(ImportIdOf(contact), 0u);

  EXPECT_FALSE(ReadLastImport());
  WriteLastImport({4, "C:\\x\\M\xC3\xBCller.csv", 1700000000});
  const std::optional<LastImport> last = ReadLastImport();
  ASSERT_TRUE(last);
  EXPECT_EQ(last->id, 4u);
  EXPECT_EQ(last->file, "C:\\x\\M\xC3\xBCller.csv");
  EXPECT_EQ(last->time, 1700000000u);
  ForgetLastImport();
  EXPECT_FALSE(ReadLastImport());
  EXPECT_EQ(LastImportId(), 4u) << "the count goes on";
}

}  // namespace
