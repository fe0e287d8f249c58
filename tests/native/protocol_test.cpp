// The protocol services and the start-up numbering of Kestrin users.
#include "plugin/protocol.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core_test_support.h"
#include "records/KestrinUserU.h"

namespace {

using ::testing::ElementsAre;
using namespace std::chrono_literals;

class ProtocolTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    Attach();
  }

  intptr_t Send(ContactHandle contact) {
    CCSDATA ccs{contact, "/SendMsg", 0, reinterpret_cast<LParam>("hello")};
    return SendMsg(0, reinterpret_cast<LParam>(&ccs));
  }
};

TEST_F(ProtocolTest, CapabilitiesBySelector) {
  EXPECT_EQ(GetCaps(1, 0), 1);
  EXPECT_EQ(GetCaps(2, 0), 0x7D);
  for (WParam other : {0u, 3u, 4u, 5u, 100u, 299u, 301u, 400u})
    EXPECT_EQ(GetCaps(other, 0), 0) << "selector " << other;
  const auto* setting = reinterpret_cast<const char*>(GetCaps(300, 0));
  ASSERT_NE(setting, nullptr);
  EXPECT_STREQ(setting, "UserID");
  EXPECT_EQ(reinterpret_cast<const char*>(GetCaps(300, 0)), setting) << "one constant text";
}

TEST_F(ProtocolTest, NameIsCutToTheBufferAndAlwaysTerminated) {
  struct Case {
    WParam size;
    const char* expected;  // null: the buffer is left alone
  };
  const Case cases[] = {
      {0, nullptr},         {1, ""}, {5, "Kest"}, {11, "KestrinUse"}, {12, "KestrinUser"},
      {100, "KestrinUser"},
  };
  for (const Case& c : cases) {
    std::vector<char> buffer(128, '#');
    EXPECT_EQ(GetName(c.size, reinterpret_cast<LParam>(buffer.data())), 0);
    const std::size_t written = c.expected ? std::strlen(c.expected) + 1 : 0;
    if (c.expected) {
      EXPECT_STREQ(buffer.data(), c.expected) << "size " << c.size;
    }
    EXPECT_TRUE(std::all_of(buffer.begin() + static_cast<std::ptrdiff_t>(written), buffer.end(),
                            [](char ch) { return ch == '#'; }))
        << "wrote past the name, size " << c.size;
  }
  EXPECT_EQ(GetName(12, 0), 0) << "no buffer";
}

TEST_F(ProtocolTest, StatusIsOnlineOrOfflineAndEveryCallIsAcknowledged) {
  struct Case {
    uint32_t requested;
    uint32_t result;
  };
  const Case cases[] = {
      {40073, 40072}, {40072, 40072}, {40081, 40071}, {40080, 40072},      {0, 40071},
      {40078, 40072}, {40071, 40071}, {40071, 40071}, {0xFFFFFFFF, 40071},
  };
  uint32_t old = ID_STATUS_OFFLINE;
  for (const Case& c : cases) {
    host.ClearAcks();
    EXPECT_EQ(SetStatus(c.requested, 0), 0);
    EXPECT_EQ(GetStatus(0, 0), static_cast<intptr_t>(c.result)) << c.requested;
    const auto acks = host.Acks();
    ASSERT_EQ(acks.size(), 1u) << c.requested;
    EXPECT_EQ(acks[0].module, "mKestrinUser");
    EXPECT_EQ(acks[0].contact, 0u);
    EXPECT_EQ(acks[0].type, ACKTYPE_STATUS);
    EXPECT_EQ(acks[0].result, ACKRESULT_SUCCESS);
    EXPECT_EQ(acks[0].process, old) << "old status, after " << c.requested;
    EXPECT_EQ(acks[0].lParam, static_cast<LParam>(c.result)) << "new status, not the request";
    old = c.result;
  }
}

TEST_F(ProtocolTest, StatusRewritesEveryKestrinUserByTypeAndNoOtherContact) {
  std::vector<ContactHandle> users;
  for (uint32_t type : {0u, 1u, 2u, 3u, 4u, 5u, 7u, 0xFFFFFFFFu}) {
    users.push_back(host.AddKestrinContact());
    host.SetDword(users.back(), kModule, "ContactType", type);
  }
  users.push_back(host.AddKestrinContact());  // no type stored
  const ContactHandle foreign = host.AddForeignContact("ICQ");
  host.SetWord(foreign, kModule, "Status", 1234);
  host.SetDword(foreign, kModule, "ContactType", 2);
  const ContactHandle unowned = host.AddContact();

  SetStatus(ID_STATUS_AWAY, 0);
  const uint16_t online[] = {40072, 40073, 40074, 40075, 40076, 40077, 40072, 40072, 40072};
  for (std::size_t i = 0; i < users.size(); ++i) {
    EXPECT_EQ(host.Get(users[i], kModule, "Status"), (testhost::Value{DBVT_WORD, online[i], {}}))
        << "user " << i;
    EXPECT_FALSE(host.Has(users[i], "UserOnline", "OldStatus"));
  }
  EXPECT_EQ(host.Number(foreign, kModule, "Status"), 1234u);
  EXPECT_TRUE(host.Settings(unowned).empty());
  EXPECT_EQ(host.Writes().size(), users.size()) << "one write per Kestrin user";

  SetStatus(ID_STATUS_OFFLINE, 0);
  for (ContactHandle user : users) EXPECT_EQ(host.Number(user, kModule, "Status"), 40071u);
  EXPECT_EQ(host.Number(foreign, kModule, "Status"), 1234u);
}

TEST_F(ProtocolTest, MessagesGetSuccessiveNumbersAndAreAcknowledgedFromAnotherThread) {
  const ContactHandle first = host.AddKestrinContact();
  const ContactHandle second = host.AddKestrinContact();
  EXPECT_EQ(Send(first), 0);
  EXPECT_EQ(Send(second), 1);
  EXPECT_EQ(Send(first), 2);
  ASSERT_TRUE(host.WaitForAcks(3, 10s));
  testhost::JoinWorkers();
  auto acks = host.Acks();
  ASSERT_EQ(acks.size(), 3u);
  std::sort(acks.begin(), acks.end(),
            [](const testhost::Ack& a, const testhost::Ack& b) { return a.process < b.process; });
  const ContactHandle contacts[] = {first, second, first};
  for (std::size_t i = 0; i < acks.size(); ++i) {
    EXPECT_EQ(acks[i].module, "mKestrinUser");
    EXPECT_EQ(acks[i].contact, contacts[i]);
    EXPECT_EQ(acks[i].type, ACKTYPE_MESSAGE);
    EXPECT_EQ(acks[i].result, ACKRESULT_SUCCESS);
    EXPECT_EQ(acks[i].process, i);
    EXPECT_EQ(acks[i].lParam, 0);
    EXPECT_NE(acks[i].thread, std::this_thread::get_id());
  }
  EXPECT_EQ(testhost::WorkersStarted(), 1u) << "one worker serves every message";
}

TEST_F(ProtocolTest, ConcurrentSendsEachGetTheirOwnNumberAndAcknowledgement) {
  constexpr int kThreads = 8;
  constexpr int kSendsPerThread = 25;
  std::vector<std::vector<intptr_t>> numbers(kThreads);
  std::vector<std::thread> senders;
  for (int t = 0; t < kThreads; ++t)
    senders.emplace_back([this, t, &numbers] {
      for (int i = 0; i < kSendsPerThread; ++i)
        numbers[t].push_back(Send(static_cast<ContactHandle>(0x1000 + t)));
    });
  for (auto& sender : senders) sender.join();

  constexpr std::size_t kTotal = kThreads * kSendsPerThread;
  ASSERT_TRUE(host.WaitForAcks(kTotal, 20s));
  testhost::JoinWorkers();
  std::map<intptr_t, ContactHandle> sent;  // number -> contact
  for (int t = 0; t < kThreads; ++t)
    for (intptr_t number : numbers[t]) sent[number] = static_cast<ContactHandle>(0x1000 + t);
  ASSERT_EQ(sent.size(), kTotal) << "numbers handed out twice";
  EXPECT_EQ(sent.begin()->first, 0);
  EXPECT_EQ(sent.rbegin()->first, static_cast<intptr_t>(kTotal - 1));
  const auto acks = host.Acks();
  ASSERT_EQ(acks.size(), kTotal);
  std::set<HostHandle> acknowledged;
  for (const testhost::Ack& ack : acks) {
    acknowledged.insert(ack.process);
    const auto found = sent.find(static_cast<intptr_t>(ack.process));
    ASSERT_NE(found, sent.end()) << ack.process;
    EXPECT_EQ(ack.contact, found->second) << ack.process;
  }
  EXPECT_EQ(acknowledged.size(), kTotal);
}

TEST_F(ProtocolTest, MessageIsAcknowledgedAfterItsSendWhenNoWorkerCanStart) {
  const ContactHandle contact = host.AddKestrinContact();
  testhost::SetFailWorkers(true);
  EXPECT_EQ(Send(contact), 0);
  testhost::SetFailWorkers(false);
  EXPECT_EQ(Send(contact), 1);
  ASSERT_TRUE(host.WaitForAcks(2, 10s)) << "the first message waits for the next worker";
  std::set<HostHandle> numbers;
  for (const testhost::Ack& ack : host.Acks()) {
    numbers.insert(ack.process);
    EXPECT_NE(ack.thread, std::this_thread::get_id());
  }
  EXPECT_THAT(numbers, ElementsAre(0u, 1u));

  // No thread at all until the plug-in stops: stopping sends it, after its send returned.
  FinishAcknowledgements();
  host.ClearAcks();
  testhost::SetFailWorkers(true);
  EXPECT_EQ(Send(contact), 2);
  EXPECT_TRUE(host.Acks().empty());
  FinishAcknowledgements();
  const auto acks = host.Acks();
  ASSERT_EQ(acks.size(), 1u);
  EXPECT_EQ(acks[0].process, 2u);
}

TEST_F(ProtocolTest, NumberingStartsAboveEveryNumberAlreadyGiven) {
  host.SetDword(0, kModule, "UserID", 5);
  // Added in reverse: the walk yields the newest first.
  const ContactHandle third = host.AddKestrinContact();
  const ContactHandle second = host.AddKestrinContact();
  host.SetDword(second, kModule, "UserID", 7);
  const ContactHandle first = host.AddKestrinContact();
  host.SetDword(first, kModule, "UserID", 0);
  ASSERT_THAT(host.Contacts(), ElementsAre(first, second, third));

  NumberContacts();
  EXPECT_EQ(host.Number(first, kModule, "UserID"), 8u);
  EXPECT_EQ(host.Number(second, kModule, "UserID"), 7u);
  EXPECT_EQ(host.Number(third, kModule, "UserID"), 9u);
  EXPECT_EQ(LastUserID, 9);
  EXPECT_EQ(host.Number(0, kModule, "UserID"), 9u);
  // The floor is always written before a contact gets a number above it.
  EXPECT_THAT(TakeWrites(), ElementsAre(DwordWrite(0, "mKestrinUser/UserID", 7),
                                        DwordWrite(0, "mKestrinUser/UserID", 8),
                                        DwordWrite(first, "mKestrinUser/UserID", 8),
                                        DwordWrite(0, "mKestrinUser/UserID", 9),
                                        DwordWrite(third, "mKestrinUser/UserID", 9)));
}

TEST_F(ProtocolTest, ImportedContactBeforeANumberedOneGetsANewNumber) {
  // First start: A is numbered 1, and an older floor of 0 may have stayed.
  const ContactHandle a = host.AddKestrinContact();
  host.SetDword(a, kModule, "UserID", 1);
  host.SetDword(0, kModule, "UserID", 0);
  // The import adds B, which the walk yields before A.
  const ContactHandle b = host.AddKestrinContact();
  ASSERT_THAT(host.Contacts(), ElementsAre(b, a));

  NumberContacts();
  EXPECT_EQ(host.Number(a, kModule, "UserID"), 1u);
  EXPECT_EQ(host.Number(b, kModule, "UserID"), 2u);
  EXPECT_EQ(LastUserID, 2);
  EXPECT_EQ(host.Number(0, kModule, "UserID"), 2u);
  // A contact the editor adds next continues above both.
  const ContactHandle c = host.AddKestrinContact();
  AssignUserId(c);
  EXPECT_EQ(host.Number(c, kModule, "UserID"), 3u);
}

TEST_F(ProtocolTest, NumberingIgnoresOtherContactsAndKeepsAHigherFloor) {
  host.SetDword(0, kModule, "UserID", 20);
  const ContactHandle foreign = host.AddForeignContact("ICQ");
  host.SetDword(foreign, kModule, "UserID", 50);
  const ContactHandle user = host.AddKestrinContact();
  host.SetDword(user, kModule, "UserID", 4);
  NumberContacts();
  EXPECT_EQ(LastUserID, 20);
  EXPECT_TRUE(TakeWrites().empty()) << "nothing to number, no floor to raise";
  EXPECT_EQ(host.Number(foreign, kModule, "UserID"), 50u);
}

TEST_F(ProtocolTest, NumberingWithoutKestrinUsersKeepsTheStoredFloor) {
  host.AddForeignContact("ICQ");
  host.AddContact();
  NumberContacts();
  EXPECT_EQ(LastUserID, 0);
  EXPECT_TRUE(TakeWrites().empty());
  host.SetDword(0, kModule, "UserID", 12);
  NumberContacts();
  EXPECT_EQ(LastUserID, 12);
  EXPECT_TRUE(TakeWrites().empty());
}

}  // namespace
