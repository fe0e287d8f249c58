// The entry points, the start-up and shutdown of the plug-in, its menus and
// the Add and Edit commands.
#include <chrono>
#include <string>
#include <vector>

#include "core_test_support.h"
#include "kestrin_version.h"
#include "plugin/mKestrinUser.h"
#include "plugin/protocol.h"

namespace {

const std::vector<std::string> kProtocolServices = {
    "mKestrinUser/GetCaps",   "mKestrinUser/GetName",   "mKestrinUser/LoadIcon",
    "mKestrinUser/GetStatus", "mKestrinUser/SetStatus", "mKestrinUser/SendMsg"};

intptr_t MIRANDA_CDECL OtherPluginsHook(WParam, LParam) { return 0; }

class LifecycleTest : public CoreTest {
 protected:
  void LoadPlugin() { ASSERT_EQ(Load(host.Link()), 0); }
  void StartPlugin() {
    LoadPlugin();
    host.FireEvent("Miranda/System/ModulesLoaded", 0, 0);
  }
};

TEST(PluginInfoTest, OneCompleteRecordWhateverTheHostVersion) {
  PLUGININFO* info = MirandaPluginInfo(0);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(MirandaPluginInfo(0x00090000), info);
  EXPECT_EQ(MirandaPluginInfo(0xFFFFFFFF), info);
  EXPECT_EQ(info->cbSize, static_cast<int>(sizeof(PLUGININFO)));
  EXPECT_STREQ(info->shortName, "mKestrinUser");
  EXPECT_EQ(info->version, KESTRIN_VERSION_PACKED);
  EXPECT_STREQ(info->description,
               "Allow to add, edit and delete on kestrin users (member on Kestrin Protocol) in "
               "contact list.");
  for (const char* text : {info->author, info->authorEmail, info->copyright, info->homepage}) {
    ASSERT_NE(text, nullptr);
    EXPECT_STRNE(text, "");
  }
  EXPECT_EQ(info->flags, 0);
  EXPECT_EQ(info->replacesDefaultModule, 0);
}

TEST_F(LifecycleTest, LoadRegistersTheProtocolItsServicesAndTwoHooks) {
  LoadPlugin();
  const auto protocols = host.Protocols();
  ASSERT_EQ(protocols.size(), 1u);
  EXPECT_EQ(protocols[0].cbSize, static_cast<int>(sizeof(PROTOCOLDESCRIPTOR)));
  EXPECT_EQ(protocols[0].name, "mKestrinUser");
  EXPECT_EQ(protocols[0].type, 1000);
  EXPECT_EQ(host.PluginServices(), kProtocolServices);
  EXPECT_EQ(host.HookCount("Miranda/System/ModulesLoaded"), 1u);
  EXPECT_EQ(host.HookCount("CList/PreBuildContactMenu"), 1u);
  EXPECT_NE(PreBuildHook, 0u);
  EXPECT_TRUE(host.MenuItems().empty()) << "menus wait for the modules-loaded event";
  // The services reach the handlers.
  EXPECT_EQ(host.CallService("mKestrinUser/GetCaps", 2, 0), 0x7D);
  EXPECT_EQ(host.CallService("mKestrinUser/GetStatus", 0, 0), 40071);
  EXPECT_EQ(host.CallService("mKestrinUser/LoadIcon", 0, 0),
            static_cast<intptr_t>(testhost::FakeIconHandle("KESTRINUSERS")));
}

TEST_F(LifecycleTest, LoadPutsEveryKestrinUserOfflineWhateverWasStored) {
  const ContactHandle wasOnline = host.AddKestrinContact();
  host.SetWord(wasOnline, kModule, "Status", 40072);
  const ContactHandle friendType = host.AddKestrinContact();
  host.SetDword(friendType, kModule, "ContactType", 2);
  host.SetWord(friendType, kModule, "Status", 40074);
  const ContactHandle noStatus = host.AddKestrinContact();
  const ContactHandle foreign = host.AddForeignContact("ICQ");
  host.SetWord(foreign, kModule, "Status", 40072);
  // Values a previous session may have left behind.
  CurrentStatus = ID_STATUS_ONLINE;
  EditorOpen = true;

  LoadPlugin();
  EXPECT_EQ(GetStatus(0, 0), 40071);
  EXPECT_FALSE(EditorOpen);
  for (ContactHandle user : {wasOnline, friendType, noStatus})
    EXPECT_EQ(host.Get(user, kModule, "Status"), (testhost::Value{DBVT_WORD, 40071, {}}));
  EXPECT_EQ(host.Number(foreign, kModule, "Status"), 40072u);
  const auto acks = host.Acks();
  ASSERT_EQ(acks.size(), 1u);
  EXPECT_EQ(acks[0].type, ACKTYPE_STATUS);
  EXPECT_EQ(acks[0].process, 40071u);
  EXPECT_EQ(acks[0].lParam, 40071);
}

TEST_F(LifecycleTest, LoadKeepsTheMessageSequence) {
  NextSendSequence = 5;
  LoadPlugin();
  CCSDATA ccs{host.AddKestrinContact(), "/SendMsg", 0, 0};
  EXPECT_EQ(host.CallService("mKestrinUser/SendMsg", 0, reinterpret_cast<LParam>(&ccs)), 5);
}

TEST_F(LifecycleTest, UnloadBeforeModulesLoadedRemovesOnlyThePreBuildHook) {
  host.Link()->HookEvent("CList/PreBuildContactMenu", OtherPluginsHook);
  LoadPlugin();
  EXPECT_EQ(host.HookCount("CList/PreBuildContactMenu"), 2u);
  EditorOpen = true;
  EXPECT_EQ(Unload(), 0);
  EXPECT_FALSE(EditorOpen);
  EXPECT_EQ(host.HookCount("CList/PreBuildContactMenu"), 1u) << "another plug-in's hook stays";
  EXPECT_EQ(host.HookCount("Miranda/System/ModulesLoaded"), 1u);
  EXPECT_EQ(host.PluginServices(), kProtocolServices);
  host.FireEvent("CList/PreBuildContactMenu", host.AddKestrinContact(), 0);
  EXPECT_TRUE(host.MenuModifications().empty());
}

TEST_F(LifecycleTest, UnloadSendsEveryAcknowledgementAndLeavesNoWorkerRunning) {
  LoadPlugin();
  host.SetAckDelay(std::chrono::milliseconds(20));
  host.ClearAcks();
  CCSDATA ccs{host.AddKestrinContact(), "/SendMsg", 0, 0};
  for (int i = 0; i < 5; ++i)
    host.CallService("mKestrinUser/SendMsg", 0, reinterpret_cast<LParam>(&ccs));
  EXPECT_EQ(Unload(), 0);
  EXPECT_EQ(testhost::WorkersRunning(), 0u);
  EXPECT_EQ(host.Acks().size(), 5u);
}

TEST_F(LifecycleTest, PreBuildBeforeModulesLoadedTouchesNoMenuItem) {
  LoadPlugin();
  host.FireEvent("CList/PreBuildContactMenu", host.AddKestrinContact(), 0);
  EXPECT_TRUE(host.MenuModifications().empty());
}

TEST_F(LifecycleTest, UnloadAfterStartRemovesOnlyThePreBuildHook) {
  StartPlugin();
  EXPECT_EQ(Unload(), 0);
  EXPECT_EQ(host.HookCount("CList/PreBuildContactMenu"), 0u);
  EXPECT_EQ(host.HookCount("Miranda/System/ModulesLoaded"), 1u);
  EXPECT_EQ(host.PluginServices().size(), 11u);
  EXPECT_EQ(host.MenuItems().size(), 5u);
}

TEST_F(LifecycleTest, ModulesLoadedCreatesCommandsMenusAndNumbersUsers) {
  host.AddTranslation("&Kestrin Users", "&Kestrin-Benutzer");
  host.AddTranslation("&Add Kestrin User", "&Neuer Kestrin-Benutzer");
  host.AddTranslation("&Edit Kestrin User", "&Kestrin-Benutzer bearbeiten");
  const ContactHandle user = host.AddKestrinContact();
  StartPlugin();

  std::vector<std::string> services = kProtocolServices;
  for (const char* command : {"mKestrinUser/Add", "mKestrinUser/Export", "mKestrinUser/Import",
                              "mKestrinUser/UndoImport", "mKestrinUser/Edit"})
    services.push_back(command);
  EXPECT_EQ(host.PluginServices(), services);

  struct Expected {
    bool contactMenu;
    const char* name;
    int position;
    const char* service;
    const char* icon;
  };
  const Expected expected[] = {
      {false, "&Neuer Kestrin-Benutzer", 1000010000, "mKestrinUser/Add", "KESTRINUSERS"},
      {false, "&Export Kestrin Users", 2000010003, "mKestrinUser/Export", "USERSEXPORT"},
      {false, "&Import Kestrin Users", 2000010001, "mKestrinUser/Import", "USERSIMPORT"},
      {false, "&Undo Last Import", 2000010002, "mKestrinUser/UndoImport", "USERSUNDO"},
      {true, "&Kestrin-Benutzer bearbeiten", 1000080001, "mKestrinUser/Edit", "KESTRINUSERS"},
  };
  const auto items = host.MenuItems();
  ASSERT_EQ(items.size(), 5u);
  for (std::size_t i = 0; i < items.size(); ++i) {
    const testhost::MenuItem& item = items[i];
    const Expected& want = expected[i];
    SCOPED_TRACE(want.service);
    EXPECT_EQ(item.contactMenu, want.contactMenu);
    EXPECT_EQ(item.cbSize, static_cast<int>(sizeof(CLISTMENUITEM)));
    EXPECT_EQ(item.name, want.name);
    EXPECT_EQ(item.flags, 0u);
    EXPECT_EQ(item.position, want.position);
    EXPECT_EQ(item.icon, testhost::FakeIconHandle(want.icon));
    EXPECT_EQ(item.service, want.service);
    EXPECT_EQ(item.hasPopup, !want.contactMenu);
    EXPECT_EQ(item.popupName, want.contactMenu ? "" : "&Kestrin-Benutzer");
    EXPECT_EQ(item.popupPosition, want.contactMenu ? 0 : 1000010000);
    EXPECT_EQ(item.hotKey, 0u);
    EXPECT_FALSE(item.hasContactOwner);
  }
  EXPECT_EQ(EditMenuItem, items[4].handle);
  EXPECT_EQ(host.Number(user, kModule, "UserID"), 1u);
  EXPECT_EQ(LastUserID, 1);
}

TEST_F(LifecycleTest, EditItemIsShownOnlyForKestrinUsers) {
  StartPlugin();
  host.RegisterProtocol("mkestrinuser");
  const ContactHandle otherCase = host.AddContact();
  host.SetString(otherCase, "Protocol", "p", "mkestrinuser");
  const ContactHandle notLoaded = host.AddContact();
  host.SetString(notLoaded, "Protocol", "p", "Gone");
  struct Case {
    const char* what;
    ContactHandle contact;
    uint32_t flags;
  };
  const Case cases[] = {
      {"Kestrin user", host.AddKestrinContact(), CMIM_FLAGS},
      {"other protocol", host.AddForeignContact("ICQ"), CMIM_FLAGS | CMIF_HIDDEN},
      {"no base protocol", host.AddContact(), CMIM_FLAGS | CMIF_HIDDEN},
      {"protocol not loaded", notLoaded, CMIM_FLAGS | CMIF_HIDDEN},
      {"other letter case", otherCase, CMIM_FLAGS | CMIF_HIDDEN},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(host.FireEvent("CList/PreBuildContactMenu", c.contact, 0), 0);
    const auto modifications = host.MenuModifications();
    ASSERT_FALSE(modifications.empty());
    const testhost::MenuModification& last = modifications.back();
    EXPECT_EQ(last.item, EditMenuItem) << c.what;
    EXPECT_EQ(last.cbSize, static_cast<int>(sizeof(CLISTMENUITEM))) << c.what;
    EXPECT_EQ(last.flags, c.flags) << c.what;
    EXPECT_FALSE(last.nameGiven) << c.what;
  }
  EXPECT_EQ(host.MenuModifications().size(), std::size(cases));
}

TEST_F(LifecycleTest, AddAndEditOpenTheEditorWithTheirCaptionAndContact) {
  host.AddTranslation("&Add Kestrin User", "&Neu");
  StartPlugin();
  const ContactHandle user = host.AddKestrinContact();
  EXPECT_EQ(host.CallService("mKestrinUser/Edit", user, 0), 0);
  EXPECT_FALSE(EditorOpen);
  EXPECT_EQ(host.CallService("mKestrinUser/Add", 0, 0), 0);
  const auto runs = testhost::EditorRuns();
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].contact, user);
  EXPECT_EQ(runs[0].caption, "Edit Kestrin User");
  EXPECT_EQ(runs[1].contact, 0u) << "Add after Edit starts from no contact";
  EXPECT_EQ(runs[1].caption, "Add Kestrin User") << "stored untranslated";
}

TEST_F(LifecycleTest, AddOrEditWhileTheEditorIsOpenDoesNothing) {
  StartPlugin();
  const ContactHandle user = host.AddKestrinContact();
  EditorOpen = true;
  EXPECT_EQ(host.CallService("mKestrinUser/Add", 0, 0), 0);
  EXPECT_EQ(host.CallService("mKestrinUser/Edit", user, 0), 0);
  EXPECT_TRUE(testhost::EditorRuns().empty());
  EXPECT_TRUE(EditorOpen);

  EditorOpen = false;  // the window closed
  EXPECT_EQ(host.CallService("mKestrinUser/Add", 0, 0), 0);
  ASSERT_EQ(testhost::EditorRuns().size(), 1u);
  EXPECT_EQ(testhost::EditorRuns()[0].contact, 0u);
  EXPECT_EQ(testhost::EditorRuns()[0].caption, "Add Kestrin User");
}

}  // namespace
