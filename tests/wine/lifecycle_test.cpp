// The real DLL's entry points in the test host: the information record as the
// messenger reads it, the start-up, the menus and the shutdown.
#include <cstring>
#include <string>
#include <vector>

#include "kestrin_version.h"
#include "wine_support.h"

namespace {

const std::vector<std::string> kProtocolServices = {
    "mKestrinUser/GetCaps",   "mKestrinUser/GetName",   "mKestrinUser/LoadIcon",
    "mKestrinUser/GetStatus", "mKestrinUser/SetStatus", "mKestrinUser/SendMsg"};

class EntryTest : public PluginTest {};

// Tests that fill the database before the plug-in is loaded.
class EntryBeforeLoadTest : public PluginTest {
 protected:
  EntryBeforeLoadTest() { loadInSetUp = false; }
};

TEST_F(EntryTest, InformationRecordIsCompleteAndTheSameForEveryHostVersion) {
  PLUGININFO* record = plugin.Info(0);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(plugin.Info(0x00090000), record);
  // Read as the messenger reads it: by byte offset.
  const auto* bytes = reinterpret_cast<const unsigned char*>(record);
  auto textAt = [bytes](std::size_t offset) {
    const char* text = nullptr;
    std::memcpy(&text, bytes + offset, sizeof(text));
    return text;
  };
  int cbSize = 0;
  std::memcpy(&cbSize, bytes, 4);
  EXPECT_EQ(cbSize, 40);
  ASSERT_NE(textAt(4), nullptr);
  EXPECT_STREQ(textAt(4), "mKestrinUser");
  uint32_t version = 0;
  std::memcpy(&version, bytes + 8, 4);
  EXPECT_EQ(version, KESTRIN_VERSION_PACKED);
  ASSERT_NE(textAt(12), nullptr);
  EXPECT_STREQ(textAt(12),
               "Allow to add, edit and delete on kestrin users (member on Kestrin Protocol) in "
               "contact list.");
  for (std::size_t offset : {16u, 20u, 24u, 28u}) {
    ASSERT_NE(textAt(offset), nullptr) << "text at " << offset;
    EXPECT_GT(std::strlen(textAt(offset)), 0u) << "text at " << offset;
  }
  EXPECT_EQ(bytes[32], 0) << "isTransient";
  int replaces = -1;
  std::memcpy(&replaces, bytes + 36, 4);
  EXPECT_EQ(replaces, 0);
}

TEST_F(EntryBeforeLoadTest, LoadRegistersTheProtocolAndPutsEveryKestrinUserOffline) {
  const ContactHandle wasOnline = host.AddKestrinContact();
  host.SetWord(wasOnline, "mKestrinUser", "Status", 40072);
  const ContactHandle friendType = host.AddKestrinContact();
  host.SetDword(friendType, "mKestrinUser", "ContactType", 2);
  host.SetWord(friendType, "mKestrinUser", "Status", 40074);
  const ContactHandle noStatus = host.AddKestrinContact();
  const ContactHandle foreign = host.AddForeignContact("ICQ");
  host.SetWord(foreign, "mKestrinUser", "Status", 40072);

  LoadPlugin();
  const auto protocols = host.Protocols();
  ASSERT_EQ(protocols.size(), 1u);
  EXPECT_EQ(protocols[0].cbSize, 12);
  EXPECT_EQ(protocols[0].name, "mKestrinUser");
  EXPECT_EQ(protocols[0].type, 1000);
  EXPECT_EQ(host.PluginServices(), kProtocolServices);
  EXPECT_EQ(host.HookCount("Miranda/System/ModulesLoaded"), 1u);
  EXPECT_EQ(host.HookCount("CList/PreBuildContactMenu"), 1u);
  EXPECT_EQ(Call("mKestrinUser/GetStatus"), 40071);

  for (ContactHandle user : {wasOnline, friendType, noStatus})
    EXPECT_EQ(host.Get(user, "mKestrinUser", "Status"), (testhost::Value{DBVT_WORD, 40071, {}}));
  EXPECT_EQ(host.Number(foreign, "mKestrinUser", "Status"), 40072u);
  const auto acks = host.Acks();
  ASSERT_EQ(acks.size(), 1u);
  EXPECT_EQ(acks[0].cbSize, 28);
  EXPECT_EQ(acks[0].module, "mKestrinUser");
  EXPECT_EQ(acks[0].type, 12);
  EXPECT_EQ(acks[0].process, 40071u);
  EXPECT_EQ(acks[0].lParam, 40071);
}

TEST_F(EntryTest, UnloadBeforeModulesLoadedRemovesOnlyThePreBuildHook) {
  ASSERT_EQ(plugin.Stop(), 0);
  EXPECT_EQ(host.HookCount("CList/PreBuildContactMenu"), 0u);
  EXPECT_EQ(host.HookCount("Miranda/System/ModulesLoaded"), 1u);
  EXPECT_EQ(host.PluginServices(), kProtocolServices);
  EXPECT_TRUE(host.MenuItems().empty());
}

TEST_F(EntryTest, ModulesLoadedAddsTheMenusAndTheEditItemFollowsTheContact) {
  const ContactHandle user = host.AddKestrinContact();
  const ContactHandle foreign = host.AddForeignContact("ICQ");
  FireModulesLoaded();
  EXPECT_EQ(host.PluginServices().size(), 11u);
  const auto items = host.MenuItems();
  ASSERT_EQ(items.size(), 5u);
  const int positions[] = {1000010000, 2000010003, 2000010001, 2000010002, 1000080001};
  const char* services[] = {"mKestrinUser/Add", "mKestrinUser/Export", "mKestrinUser/Import",
                            "mKestrinUser/UndoImport", "mKestrinUser/Edit"};
  for (std::size_t i = 0; i < items.size(); ++i) {
    EXPECT_EQ(items[i].cbSize, 40);
    EXPECT_EQ(items[i].position, positions[i]);
    EXPECT_EQ(items[i].service, services[i]);
    EXPECT_EQ(items[i].hasPopup, i < 4);
    EXPECT_EQ(items[i].popupPosition, i < 4 ? 1000010000 : 0);
    EXPECT_FALSE(items[i].hasContactOwner);
  }
  EXPECT_TRUE(items[4].contactMenu);
  EXPECT_EQ(host.Number(user, "mKestrinUser", "UserID"), 1u);

  host.FireEvent("CList/PreBuildContactMenu", user, 0);
  host.FireEvent("CList/PreBuildContactMenu", foreign, 0);
  const auto modifications = host.MenuModifications();
  ASSERT_EQ(modifications.size(), 2u);
  for (const auto& modification : modifications) {
    EXPECT_EQ(modification.item, items[4].handle);
    EXPECT_EQ(modification.cbSize, 40);
  }
  EXPECT_EQ(modifications[0].flags, 0x40000000u);
  EXPECT_EQ(modifications[1].flags, 0x40000004u);
  EXPECT_EQ(host.LiveVariantTexts(), 0u);
}

}  // namespace
