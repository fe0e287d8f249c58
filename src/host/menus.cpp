#include "host/menus.h"

#include <string>

#include "csv/csv_exchange.h"
#include "editor/editor_text.h"
#include "editor/editor_window.h"
#include "host/command_guard.h"
#include "host/globals.h"
#include "host/protocol.h"
#include "records/KestrinUserU.h"
#include "shell/shell.h"

namespace {

constexpr const char* kEditorFailed = "The Kestrin user window has failed.";
constexpr int kPopupPosition = 1000010000;

struct MainMenuEntry {
  const char* name;
  int position;
  const char* service;
  const char* icon;
};

// Created in this order; the host sorts them by position into Add, Import, Export.
constexpr MainMenuEntry kMainMenu[] = {
    {"&Add Kestrin User", 1000010000, "mKestrinUser/Add", "KESTRINUSERS"},
    {"&Export Kestrin Users", 2000010002, "mKestrinUser/Export", "USERSEXPORT"},
    {"&Import Kestrin Users", 2000010001, "mKestrinUser/Import", "USERSIMPORT"},
};

void AddMainMenuItem(const MainMenuEntry& entry, const std::string& popupName) {
  const std::string name = TranslateText(entry.name);
  CLISTMENUITEM item{};
  item.cbSize = sizeof(CLISTMENUITEM);
  item.pszName = name.c_str();
  item.position = entry.position;
  item.hIcon = shell::LoadPluginIcon(entry.icon);
  item.pszService = entry.service;
  item.pszPopupName = popupName.c_str();
  item.popupPosition = kPopupPosition;
  CallHostService("CList/AddMainMenuItem", 0, reinterpret_cast<LParam>(&item));
}

HostHandle AddEditMenuItem() {
  const std::string name = TranslateText("&Edit Kestrin User");
  CLISTMENUITEM item{};
  item.cbSize = sizeof(CLISTMENUITEM);
  item.pszName = name.c_str();
  item.position = 1000080001;
  item.hIcon = shell::LoadPluginIcon("KESTRINUSERS");
  item.pszService = "mKestrinUser/Edit";
  const intptr_t handle =
      CallHostService("CList/AddContactMenuItem", 0, reinterpret_cast<LParam>(&item));
  return handle == CALLSERVICE_NOTFOUND ? 0 : static_cast<HostHandle>(handle);
}

}  // namespace

intptr_t MIRANDA_CDECL OnModulesLoaded(WParam, LParam) {
  return GuardedHandler([] {
    CreateHostService("mKestrinUser/Add", AddCommand);
    CreateHostService("mKestrinUser/Edit", EditCommand);
    CreateHostService("mKestrinUser/Import", ImportContacts);
    CreateHostService("mKestrinUser/Export", ExportContacts);
    const std::string popupName = TranslateText(kCommandsPopup);
    for (const MainMenuEntry& entry : kMainMenu) AddMainMenuItem(entry, popupName);
    EditMenuItem = AddEditMenuItem();
    NumberContacts();
    return 0;
  });
}

intptr_t MIRANDA_CDECL OnPreBuildContactMenu(WParam contact, LParam) {
  return GuardedHandler([contact] {
    // Before the modules-loaded event there is no item to show or hide.
    if (EditMenuItem == 0) return 0;
    CLISTMENUITEM item{};
    item.cbSize = sizeof(CLISTMENUITEM);
    item.flags = IsOwnContact(contact) ? CMIM_FLAGS : CMIM_FLAGS | CMIF_HIDDEN;
    CallHostService("CList/ModifyMenuItem", EditMenuItem, reinterpret_cast<LParam>(&item));
    return 0;
  });
}

void OpenEditor(ContactHandle contact) {
  if (EditorOpen) return;
  EditedContact = contact;
  EditorCaption = StripFirstAmpersand(contact == 0 ? "&Add Kestrin User" : "&Edit Kestrin User");
  EditorOpen = true;
  // Cleared however the window ends, so that a later Add or Edit can open it.
  struct ClosedAtTheEnd {
    ~ClosedAtTheEnd() { EditorOpen = false; }
  } closed;
  RunEditorWindow();
}

intptr_t MIRANDA_CDECL AddCommand(WParam, LParam) {
  return GuardedCommand(kEditorFailed, [] { OpenEditor(0); });
}

intptr_t MIRANDA_CDECL EditCommand(WParam contact, LParam) {
  return GuardedCommand(kEditorFailed,
                        [contact] { OpenEditor(static_cast<ContactHandle>(contact)); });
}
