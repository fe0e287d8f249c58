// The menu items that lead to the editor and the other commands, as the host
// records them, and the Edit item following the contact it is shown for.
#include <string>

#include "wine_support.h"

namespace {

class MenuTest : public PluginTest {
 protected:
  // The icon the host must get for `name`: the shared icon of the DLL.
  HostHandle IconOf(const char* name) {
    return reinterpret_cast<HostHandle>(LoadImageA(plugin.Module(), name, IMAGE_ICON,
                                                   GetSystemMetrics(SM_CXICON),
                                                   GetSystemMetrics(SM_CYICON), LR_SHARED));
  }
};

TEST_F(MenuTest, ItemsCarryTranslatedNamesPopupServicesAndIcons) {
  host.AddTranslation("&Kestrin Users", "&Kestrin-Benutzer");
  host.AddTranslation("&Edit Kestrin User", "&Bearbeiten");
  EXPECT_EQ(Call("mKestrinUser/Add"), CALLSERVICE_NOTFOUND);
  EXPECT_EQ(Call("mKestrinUser/Edit"), CALLSERVICE_NOTFOUND);
  FireModulesLoaded();

  struct Expected {
    bool contactMenu;
    const char* name;
    int position;
    const char* service;
    const char* icon;
    const char* popup;  // null: none
  };
  const Expected expected[] = {
      {false, "&Add Kestrin User", 1000010000, "mKestrinUser/Add", "KESTRINUSERS",
       "&Kestrin-Benutzer"},
      {false, "&Export Kestrin Users", 2000010003, "mKestrinUser/Export", "USERSEXPORT",
       "&Kestrin-Benutzer"},
      {false, "&Import Kestrin Users", 2000010001, "mKestrinUser/Import", "USERSIMPORT",
       "&Kestrin-Benutzer"},
      {false, "&Undo Last Import", 2000010002, "mKestrinUser/UndoImport", "USERSUNDO",
       "&Kestrin-Benutzer"},
      {true, "&Bearbeiten", 1000080001, "mKestrinUser/Edit", "KESTRINUSERS", nullptr},
  };
  const auto items = host.MenuItems();
  ASSERT_EQ(items.size(), std::size(expected));
  for (size_t i = 0; i < items.size(); ++i) {
    const testhost::MenuItem& item = items[i];
    SCOPED_TRACE(expected[i].service);
    EXPECT_EQ(item.contactMenu, expected[i].contactMenu);
    EXPECT_EQ(item.cbSize, 40);
    EXPECT_EQ(item.name, expected[i].name);
    EXPECT_EQ(item.flags, 0u);
    EXPECT_EQ(item.position, expected[i].position);
    EXPECT_EQ(item.service, expected[i].service);
    EXPECT_NE(item.icon, 0u);
    EXPECT_EQ(item.icon, IconOf(expected[i].icon));
    EXPECT_EQ(item.hasPopup, expected[i].popup != nullptr);
    if (expected[i].popup != nullptr) {
      EXPECT_EQ(item.popupName, expected[i].popup);
      EXPECT_EQ(item.popupPosition, 1000010000);
    }
    EXPECT_EQ(item.hotKey, 0u);
    EXPECT_FALSE(item.hasContactOwner);
    EXPECT_TRUE(host.HasService(item.service));
  }
}

TEST_F(MenuTest, EditItemIsShownOnlyOnKestrinUsers) {
  const ContactHandle foreign = host.AddForeignContact("ICQ");
  const ContactHandle noProtocol = host.AddContact();
  const ContactHandle unloaded = host.AddContact();
  host.SetString(unloaded, "Protocol", "p", "MKESTRINUSER");  // not a loaded protocol
  const ContactHandle user = host.AddKestrinContact();
  FireModulesLoaded();
  const HostHandle editItem = host.MenuItems().back().handle;

  const std::pair<ContactHandle, uint32_t> cases[] = {
      {foreign, 0x40000004u}, {noProtocol, 0x40000004u}, {unloaded, 0x40000004u},
      {user, 0x40000000u},    {foreign, 0x40000004u},
  };
  for (const auto& [contact, flags] : cases)
    host.FireEvent("CList/PreBuildContactMenu", contact, 0);
  const auto modifications = host.MenuModifications();
  ASSERT_EQ(modifications.size(), std::size(cases));
  for (size_t i = 0; i < modifications.size(); ++i) {
    EXPECT_EQ(modifications[i].item, editItem) << i;
    EXPECT_EQ(modifications[i].cbSize, 40) << i;
    EXPECT_EQ(modifications[i].flags, cases[i].second) << i;
    EXPECT_FALSE(modifications[i].nameGiven) << i;
  }
}

}  // namespace
