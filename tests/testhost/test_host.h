// A stand-in for the messenger that behaves like the real host for every
// service and event the plug-in uses: an ordered contact database with typed
// settings, the service and hook tables behind PLUGINLINK, events it can fire,
// and records of menu items, acknowledgements and translations.
//
// It is portable: natively it is linked with the plug-in's core; built for
// Windows it loads the real DLL and reaches it only through its exports and
// services. The PLUGINLINK functions are plain C functions, so there is one
// host per process: TestHost::Instance().
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "host/m_globaldefs.h"
#include "records/KestrinUserU.h"

namespace testhost {

// One stored setting.
struct Value {
  uint8_t type = DBVT_DELETED;  // DBVT_BYTE, DBVT_WORD, DBVT_DWORD, DBVT_ASCIIZ, DBVT_UTF8
  uint32_t number = 0;          // byte, word and double-word values
  std::string text;             // 8-bit text (code page 1252) or UTF-8; wide writes become UTF-8

  bool operator==(const Value& other) const {
    return type == other.type && number == other.number && text == other.text;
  }
};

struct Ack {
  int cbSize = 0;
  std::string module;
  ContactHandle contact = 0;
  int type = 0;
  int result = 0;
  HostHandle process = 0;
  LParam lParam = 0;
  std::thread::id thread;  // the thread that broadcast it
};

struct MenuItem {
  bool contactMenu = false;  // "CList/AddContactMenuItem" rather than the main menu
  HostHandle handle = 0;     // what the host answered (contact-menu items only)
  int cbSize = 0;
  std::string name;
  uint32_t flags = 0;
  int position = 0;
  HostHandle icon = 0;
  std::string service;
  bool hasPopup = false;
  std::string popupName;
  int popupPosition = 0;
  uint32_t hotKey = 0;
  bool hasContactOwner = false;
  std::string contactOwner;
};

struct MenuModification {
  HostHandle item = 0;
  int cbSize = 0;
  uint32_t flags = 0;
  bool nameGiven = false;  // pszName non-null
};

struct Protocol {
  int cbSize = 0;
  std::string name;
  int type = 0;
};

// One call of "DB/Contact/WriteSetting" or "DB/Contact/DeleteSetting".
struct SettingWrite {
  ContactHandle contact = 0;
  std::string module;
  std::string setting;
  std::optional<Value> value;  // std::nullopt for a deletion
};

class TestHost {
 public:
  static TestHost& Instance();

  // Empties the database and every table and record; the host's own services
  // are registered again. Hooks and services of a plug-in are forgotten.
  void Reset();
  PLUGINLINK* Link();

  // --- Database ---------------------------------------------------------
  // A new contact, placed first in the walk (as "DB/Contact/Add" does).
  ContactHandle AddContact();
  // A new Kestrin user ("Protocol"/"p" = "mKestrinUser"), placed first.
  ContactHandle AddKestrinContact();
  // A new Kestrin user with `details` stored as the plug-in stores them when
  // it creates one, and with `userId` as its "UserID" when given.
  ContactHandle AddKestrinUser(const ContactDetails& details,
                               std::optional<uint32_t> userId = std::nullopt);
  // A contact of another protocol, registered so that the host knows it.
  ContactHandle AddForeignContact(const std::string& protocol);
  std::vector<ContactHandle> Contacts() const;  // walk order
  std::size_t ContactCount() const;

  void SetByte(ContactHandle contact, const std::string& module, const std::string& setting,
               uint8_t value);
  void SetWord(ContactHandle contact, const std::string& module, const std::string& setting,
               uint16_t value);
  void SetDword(ContactHandle contact, const std::string& module, const std::string& setting,
                uint32_t value);
  void SetString(ContactHandle contact, const std::string& module, const std::string& setting,
                 const std::string& value);
  void SetUtf8(ContactHandle contact, const std::string& module, const std::string& setting,
               const std::string& value);
  void Delete(ContactHandle contact, const std::string& module, const std::string& setting);

  std::optional<Value> Get(ContactHandle contact, const std::string& module,
                           const std::string& setting) const;
  bool Has(ContactHandle contact, const std::string& module, const std::string& setting) const;
  // Convenience readers: std::nullopt when missing or of another type.
  std::optional<uint32_t> Number(ContactHandle contact, const std::string& module,
                                 const std::string& setting) const;
  std::optional<std::string> Text(ContactHandle contact, const std::string& module,
                                  const std::string& setting) const;
  // A text setting as UTF-8, whatever its stored type (8-bit text is code page 1252).
  std::optional<std::string> Utf8Text(ContactHandle contact, const std::string& module,
                                      const std::string& setting) const;
  // The contact list's groups ("CListGroups"/"0", "1", ...: a flag byte and
  // the name): one more, as the list makes it, and the names in their order.
  void AddGroup(const std::string& name);
  std::vector<std::string> Groups() const;
  // All settings of one contact, keyed by (module, setting).
  std::map<std::pair<std::string, std::string>, Value> Settings(ContactHandle contact) const;

  // Text values handed out by the reads of settings and not yet given back
  // with "DB/Contact/FreeVariant".
  std::size_t LiveVariantTexts() const;
  // The writes and deletions asked of the host's services, in call order
  // (the Set... and Delete helpers above are not recorded).
  std::vector<SettingWrite> Writes() const;
  void ClearWrites();
  // Makes "DB/Contact/Add" answer 0 while set.
  void SetFailContactAdd(bool fail);
  // Runs `action` inside every "DB/Contact/Add", as another plug-in's hook may.
  void OnContactAdd(std::function<void()> action);
  // Makes every "DB/Contact/Add" take at least `cost`, as a slow database does.
  void SetContactAddCost(std::chrono::milliseconds cost);
  // Removes one of the host's own services, as an older host lacks it.
  void DropHostService(const std::string& name);
  // Protocols the host knows besides those registered with "Proto/RegisterModule".
  void RegisterProtocol(const std::string& name);

  // --- The contact list ---------------------------------------------------
  // The host's contact list with its cost (contact_list.h): shown after every
  // Reset, as a window of the thread that called it. Contacts added or
  // deleted and shown settings written through the host's services (not the
  // helpers above) make it walk every contact, reading its shown settings
  // through the host's own lookup and sorting the names.
  void SetContactListShown(bool shown);
  // The walks since Reset, and the time they took.
  std::size_t ContactListWalks() const;
  std::chrono::duration<double> ContactListWalkTime() const;

  // --- Services and events ----------------------------------------------
  intptr_t CallService(const std::string& name, WParam wParam, LParam lParam);
  bool HasService(const std::string& name) const;
  std::vector<std::string> PluginServices() const;  // created by the plug-in, in order
  // Calls every hook of `event`, in hooking order; answers the last result.
  intptr_t FireEvent(const std::string& event, WParam wParam, LParam lParam);
  std::size_t HookCount(const std::string& event) const;
  // Counts of the plug-in's calls to named services, for tests of call patterns.
  std::size_t CallCount(const std::string& service) const;
  // Every service called so far (the plug-in's and the host's), with its count.
  std::map<std::string, std::size_t> CallCounts() const;

  // --- Records ------------------------------------------------------------
  std::vector<Protocol> Protocols() const;
  std::vector<Ack> Acks() const;
  // Waits until at least `count` acknowledgements are recorded.
  bool WaitForAcks(std::size_t count, std::chrono::milliseconds timeout) const;
  void ClearAcks();
  // Makes every "Proto/BroadcastAck" take this long before it is recorded, as
  // in a host that hands each acknowledgement to its busy main thread.
  void SetAckDelay(std::chrono::milliseconds delay);
  std::vector<MenuItem> MenuItems() const;
  std::vector<MenuModification> MenuModifications() const;
  void AddTranslation(const std::string& from, const std::string& to);
  // Texts the plug-in asked "LangPack/TranslateString" for, in order.
  std::vector<std::string> TranslationRequests() const;

  struct State;  // defined in the implementation only

 private:
  TestHost();
  State* state_;  // owned; lives as long as the process
};

// The sample Kestrin user of the demo and of the editor's pictures.
ContactDetails SampleUser();

// The English texts of a language-pack file: its lines "[text]"; none when
// the file cannot be read.
std::set<std::string> LangpackKeys(const std::string& path);

}  // namespace testhost
