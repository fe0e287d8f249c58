// The real DLL's protocol services in the test host: status changes, name,
// capabilities and message acknowledgements from worker threads.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "wine_support.h"

namespace {

using namespace std::chrono_literals;

class ProtocolServiceTest : public PluginTest {
 protected:
  intptr_t Send(ContactHandle contact) {
    CCSDATA ccs{contact, "/SendMsg", 0, reinterpret_cast<LParam>("hello")};
    return Call("mKestrinUser/SendMsg", 0, reinterpret_cast<LParam>(&ccs));
  }
};

TEST_F(ProtocolServiceTest, SetStatusRewritesKestrinUsersByTypeAndAcknowledgesEveryCall) {
  std::vector<ContactHandle> users;
  for (uint32_t type : {0u, 1u, 2u, 3u, 4u, 5u, 7u, 0xFFFFFFFFu}) {
    users.push_back(host.AddKestrinContact());
    host.SetDword(users.back(), "mKestrinUser", "ContactType", type);
  }
  const ContactHandle foreign = host.AddForeignContact("ICQ");
  host.SetWord(foreign, "mKestrinUser", "Status", 1234);
  host.ClearAcks();

  struct Step {
    uint32_t requested;
    uint32_t status;
  };
  const Step steps[] = {{40073, 40072}, {40072, 40072}, {40071, 40071}, {40071, 40071},
                        {40080, 40072}, {40081, 40071}, {0, 40071}};
  const uint16_t online[] = {40072, 40073, 40074, 40075, 40076, 40077, 40072, 40072};
  uint32_t old = 40071;
  for (std::size_t i = 0; i < std::size(steps); ++i) {
    const Step& step = steps[i];
    SCOPED_TRACE(testing::Message() << "requested " << step.requested);
    EXPECT_EQ(Call("mKestrinUser/SetStatus", step.requested), 0);
    EXPECT_EQ(Call("mKestrinUser/GetStatus"), static_cast<intptr_t>(step.status));
    const auto acks = host.Acks();
    ASSERT_EQ(acks.size(), i + 1);
    EXPECT_EQ(acks[i].cbSize, 28);
    EXPECT_EQ(acks[i].module, "mKestrinUser");
    EXPECT_EQ(acks[i].contact, 0u);
    EXPECT_EQ(acks[i].type, 12);
    EXPECT_EQ(acks[i].result, 0);
    EXPECT_EQ(acks[i].process, old);
    EXPECT_EQ(acks[i].lParam, static_cast<LParam>(step.status));
    old = step.status;
    for (std::size_t u = 0; u < users.size(); ++u)
      EXPECT_EQ(host.Get(users[u], "mKestrinUser", "Status"),
                (testhost::Value{DBVT_WORD, step.status == 40071 ? 40071u : online[u], {}}))
          << "user " << u;
    EXPECT_EQ(host.Number(foreign, "mKestrinUser", "Status"), 1234u);
  }
}

TEST_F(ProtocolServiceTest, NameFitsTheCallersBuffer) {
  struct Case {
    WParam size;
    const char* expected;  // null: nothing written
  };
  const Case cases[] = {
      {0, nullptr}, {1, ""}, {5, "Kest"}, {12, "KestrinUser"}, {100, "KestrinUser"}};
  for (const Case& c : cases) {
    std::vector<char> buffer(128, '#');
    EXPECT_EQ(Call("mKestrinUser/GetName", c.size, reinterpret_cast<LParam>(buffer.data())), 0);
    const std::size_t written = c.expected ? std::strlen(c.expected) + 1 : 0;
    if (c.expected) {
      EXPECT_STREQ(buffer.data(), c.expected) << "size " << c.size;
    }
    EXPECT_TRUE(std::all_of(buffer.begin() + static_cast<std::ptrdiff_t>(written), buffer.end(),
                            [](char ch) { return ch == '#'; }))
        << "size " << c.size;
  }
}

TEST_F(ProtocolServiceTest, CapabilitiesBySelector) {
  EXPECT_EQ(Call("mKestrinUser/GetCaps", 1), 1);
  EXPECT_EQ(Call("mKestrinUser/GetCaps", 2), 0x7D);
  for (WParam selector : {3u, 100u, 400u, 0u}) EXPECT_EQ(Call("mKestrinUser/GetCaps", selector), 0);
  const auto* setting = reinterpret_cast<const char*>(Call("mKestrinUser/GetCaps", 300));
  ASSERT_NE(setting, nullptr);
  EXPECT_STREQ(setting, "UserID");
  // The host keeps the pointer: it must be the library's own constant.
  HMODULE owner = nullptr;
  ASSERT_TRUE(GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      setting, &owner));
  EXPECT_EQ(owner, plugin.Module());
}

TEST_F(ProtocolServiceTest, MessagesAreAcknowledgedFromAnotherThreadWithTheirOwnNumbers) {
  const ContactHandle first = host.AddKestrinContact();
  const ContactHandle second = host.AddKestrinContact();
  host.ClearAcks();
  EXPECT_EQ(Send(first), 0);
  EXPECT_EQ(Send(second), 1);
  ASSERT_TRUE(host.WaitForAcks(2, 10s));
  auto acks = host.Acks();
  ASSERT_EQ(acks.size(), 2u);
  std::sort(acks.begin(), acks.end(),
            [](const testhost::Ack& a, const testhost::Ack& b) { return a.process < b.process; });
  const ContactHandle contacts[] = {first, second};
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(acks[i].cbSize, 28);
    EXPECT_EQ(acks[i].module, "mKestrinUser");
    EXPECT_EQ(acks[i].contact, contacts[i]);
    EXPECT_EQ(acks[i].type, 0);
    EXPECT_EQ(acks[i].result, 0);
    EXPECT_EQ(acks[i].process, i);
    EXPECT_EQ(acks[i].lParam, 0);
    EXPECT_NE(acks[i].thread, std::this_thread::get_id());
  }
}

TEST_F(ProtocolServiceTest, ConcurrentSendsFromEightThreadsAreEachNumberedAndAcknowledged) {
  constexpr int kThreads = 8;
  constexpr int kSendsPerThread = 25;
  constexpr std::size_t kTotal = kThreads * kSendsPerThread;
  host.ClearAcks();
  std::vector<std::vector<intptr_t>> numbers(kThreads);
  std::vector<std::thread::id> senderIds(kThreads);
  std::vector<std::thread> senders;
  for (int t = 0; t < kThreads; ++t)
    senders.emplace_back([&, t] {
      senderIds[t] = std::this_thread::get_id();
      for (int i = 0; i < kSendsPerThread; ++i)
        numbers[t].push_back(Send(static_cast<ContactHandle>(0x1000 + t)));
      // Stay alive until every acknowledgement is in, so that no worker can
      // carry a sender's recycled thread id.
      host.WaitForAcks(kTotal, 20s);
    });
  for (auto& sender : senders) sender.join();

  std::map<intptr_t, ContactHandle> sent;  // number -> contact
  for (int t = 0; t < kThreads; ++t)
    for (intptr_t number : numbers[t]) sent[number] = static_cast<ContactHandle>(0x1000 + t);
  ASSERT_EQ(sent.size(), kTotal) << "a number was handed out twice";
  const auto acks = host.Acks();
  ASSERT_EQ(acks.size(), kTotal);
  std::set<HostHandle> acknowledged;
  const std::set<std::thread::id> callers(senderIds.begin(), senderIds.end());
  for (const testhost::Ack& ack : acks) {
    acknowledged.insert(ack.process);
    const auto found = sent.find(static_cast<intptr_t>(ack.process));
    ASSERT_NE(found, sent.end()) << ack.process;
    EXPECT_EQ(ack.contact, found->second) << ack.process;
    EXPECT_EQ(ack.type, 0);
    EXPECT_EQ(callers.count(ack.thread), 0u) << "acknowledged on the sending thread";
  }
  EXPECT_EQ(acknowledged.size(), kTotal);
}

TEST_F(ProtocolServiceTest, UnloadSendsEveryAcknowledgementAndNoThreadOfTheLibraryOutlivesIt) {
  CCSDATA ccs{host.AddKestrinContact(), "/SendMsg", 0, 0};
  host.SetAckDelay(20ms);
  host.ClearAcks();
  for (int i = 0; i < 5; ++i) Call("mKestrinUser/SendMsg", 0, reinterpret_cast<LParam>(&ccs));
  EXPECT_EQ(plugin.Stop(), 0);
  EXPECT_EQ(host.Acks().size(), 5u);
  plugin.Close();
  EXPECT_EQ(GetModuleHandleA("mKestrinUser.dll"), nullptr) << "a worker still holds the library";
}

TEST_F(ProtocolServiceTest, EveryTextReadIsGivenBack) {
  // Numbers stored as text make the number reads meet host memory.
  const ContactHandle user = host.AddKestrinContact();
  host.SetString(user, "mKestrinUser", "ContactType", "2");
  host.SetString(user, "mKestrinUser", "UserID", "7");
  host.SetString(0, "mKestrinUser", "UserID", "3");
  EXPECT_EQ(Call("mKestrinUser/SetStatus", 40072), 0);
  FireModulesLoaded();
  EXPECT_EQ(host.Number(user, "mKestrinUser", "Status"), 40072u) << "text is no type";
  EXPECT_GE(host.CallCount("DB/Contact/FreeVariant"), 3u);
  EXPECT_EQ(host.LiveVariantTexts(), 0u);
}

}  // namespace
