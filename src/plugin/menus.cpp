#include "plugin/menus.h"

#include <exception>
#include <functional>
#include <new>
#include <string>

#include "editor/editor_window.h"
#include "exchange/commands/exchange_messages.h"
#include "exchange/commands/export_command.h"
#include "exchange/commands/import_command.h"
#include "exchange/commands/undo_command.h"
#include "host/globals.h"
#include "plugin/protocol.h"
#include "records/KestrinUserU.h"
#include "shell/shell.h"

namespace {

constexpr const char* kPopupName = N_("&Kestrin Users");
constexpr int kPopupPosition = 1000010000;
constexpr const char* kEditorFailed = N_("The Kestrin user window has failed.");
constexpr const char* kOutOfMemory = N_("There is not enough memory.");
constexpr const char* kUnexpectedError = N_("An unexpected error occurred.");

struct MainMenuEntry {
  const char* name;
  int position;
  const char* service;
  const char* icon;
  ServiceHandler command;
};

// The one place that names the main menu's command services. Created in this
// order; the host sorts them by position into Add, Import, Undo, Export.
constexpr MainMenuEntry kMainMenu[] = {
    {N_("&Add Kestrin User"), 1000010000, "mKestrinUser/Add", shell::kKestrinUsersIcon, AddCommand},
    {N_("&Export Kestrin Users"), 2000010003, "mKestrinUser/Export", "USERSEXPORT", ExportCommand},
    {N_("&Import Kestrin Users"), 2000010001, "mKestrinUser/Import", "USERSIMPORT", ImportCommand},
    {N_("&Undo Last Import"), 2000010002, "mKestrinUser/UndoImport", "USERSUNDO",
     UndoImportCommand},
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
  const std::string name = TranslateText(N_("&Edit Kestrin User"));
  CLISTMENUITEM item{};
  item.cbSize = sizeof(CLISTMENUITEM);
  item.pszName = name.c_str();
  item.position = 1000080001;
  item.hIcon = shell::LoadPluginIcon(shell::kKestrinUsersIcon);
  item.pszService = "mKestrinUser/Edit";
  const intptr_t handle =
      CallHostService("CList/AddContactMenuItem", 0, reinterpret_cast<LParam>(&item));
  return handle == CALLSERVICE_NOTFOUND ? 0 : static_cast<HostHandle>(handle);
}

// The import and export messages are titled with the popup's name without its
// "&", not translated.
std::string ExchangeCaption() { return StripFirstAmpersand(kPopupName); }

void TellFailure(const char* failure, const char* reason, const char* detail) noexcept {
  try {
    std::string text = TranslateText(failure) + "\n" + TranslateText(reason);
    if (detail != nullptr && *detail != '\0') text += std::string(" (") + detail + ")";
    shell::ShowMessage(text, ExchangeCaption(), shell::kMessageIconError);
  } catch (...) {
    // Not even the message could be made: there is nothing more to do.
  }
}

// Runs a command so that no exception reaches the host and none passes
// unnoticed: one that comes is told in an error box, `failure` and on a
// second line what went wrong.
intptr_t GuardedCommand(const char* failure, const std::function<void()>& body) noexcept {
  try {
    body();
  } catch (const std::bad_alloc&) {
    TellFailure(failure, kOutOfMemory, nullptr);
  } catch (const std::exception& error) {
    TellFailure(failure, kUnexpectedError, error.what());
  } catch (...) {
    TellFailure(failure, kUnexpectedError, nullptr);
  }
  return 0;
}

}  // namespace

std::string StripFirstAmpersand(const std::string& text) {
  std::string result = text;
  const std::size_t ampersand = result.find('&');
  if (ampersand != std::string::npos) result.erase(ampersand, 1);
  return result;
}

intptr_t MIRANDA_CDECL OnModulesLoaded(WParam, LParam) {
  return GuardedHandler([] {
    for (const MainMenuEntry& entry : kMainMenu) CreateHostService(entry.service, entry.command);
    CreateHostService("mKestrinUser/Edit", EditCommand);
    const std::string popupName = TranslateText(kPopupName);
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
  // The menu item's name without its "&".
  const char* caption = contact == 0 ? N_("Add Kestrin User") : N_("Edit Kestrin User");
  EditorOpen = true;
  // Cleared however the window ends, so that a later Add or Edit can open it.
  struct ClosedAtTheEnd {
    ~ClosedAtTheEnd() { EditorOpen = false; }
  } closed;
  RunEditorWindow(contact, caption);
}

intptr_t MIRANDA_CDECL AddCommand(WParam, LParam) {
  return GuardedCommand(kEditorFailed, [] { OpenEditor(0); });
}

intptr_t MIRANDA_CDECL EditCommand(WParam contact, LParam) {
  return GuardedCommand(kEditorFailed,
                        [contact] { OpenEditor(static_cast<ContactHandle>(contact)); });
}

intptr_t MIRANDA_CDECL ImportCommand(WParam, LParam) {
  return GuardedCommand(kImportFailed, [] { RunImport(ExchangeCaption()); });
}

intptr_t MIRANDA_CDECL UndoImportCommand(WParam, LParam) {
  return GuardedCommand(kImportFailed, [] { RunUndoImport(ExchangeCaption()); });
}

intptr_t MIRANDA_CDECL ExportCommand(WParam, LParam) {
  return GuardedCommand(kExportFailed, [] { RunExport(ExchangeCaption()); });
}
