#include "testhost/test_host.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <list>
#include <set>
#include <unordered_map>

#include "host/unicode_text.h"
#include "testhost/text_encodings.h"

namespace testhost {

namespace {

using SettingKey = std::pair<std::string, std::string>;  // (module, setting)

struct Contact {
  ContactHandle handle = 0;
  std::map<SettingKey, Value> settings;
  std::set<SettingKey> deleted;  // answered as deleted rather than missing
};

struct Hook {
  HostHandle handle;
  std::string event;
  EventHook function;
};

constexpr ContactHandle kFirstContact = 0x00A10000;
constexpr HostHandle kFirstHook = 0x00B10000;
constexpr HostHandle kFirstMenuItem = 0x00C10000;

std::string CopyText(const char* text) { return text != nullptr ? text : std::string(); }

constexpr std::size_t kHostTextLimit = 65534;

}  // namespace

struct TestHost::State {
  mutable std::recursive_mutex mutex;
  mutable std::condition_variable_any acksChanged;

  PLUGINLINK link{};
  // The walk order: newest first, as the real host yields contacts.
  std::list<Contact> contacts;
  // Every contact's place in the walk, so that lookups and "FindNext" take
  // constant time and a walk over the database stays linear.
  std::unordered_map<ContactHandle, std::list<Contact>::iterator> index;
  Contact moduleLevel;  // contact 0
  ContactHandle nextContact = kFirstContact;
  bool failContactAdd = false;
  std::function<void()> onContactAdd;
  std::chrono::milliseconds ackDelay{0};

  std::map<std::string, ServiceHandler> hostServices;
  std::map<std::string, ServiceHandler> pluginServices;
  std::vector<std::string> pluginServiceOrder;
  std::vector<Hook> hooks;
  HostHandle nextHook = kFirstHook;
  HostHandle nextMenuItem = kFirstMenuItem;

  std::set<std::string> knownProtocols;
  std::vector<Protocol> protocols;
  std::vector<Ack> acks;
  std::vector<MenuItem> menuItems;
  std::vector<MenuModification> modifications;
  std::map<std::string, std::string> translations;
  std::vector<std::string> translationRequests;
  // Pointers handed out as translations stay valid for the life of the host.
  std::list<std::string> translatedTexts;
  std::set<char*> liveVariantTexts;
  std::unordered_map<std::string, std::size_t> callCounts;
  std::vector<SettingWrite> writes;

  Contact* Find(ContactHandle handle) {
    if (handle == 0) return &moduleLevel;
    auto found = index.find(handle);
    return found == index.end() ? nullptr : &*found->second;
  }
};

namespace {

TestHost::State* GlobalState = nullptr;

TestHost::State& S() { return *GlobalState; }

// --- PLUGINLINK -------------------------------------------------------------

HostHandle MIRANDA_CDECL LinkCreateHookableEvent(const char*) { return 0; }
int MIRANDA_CDECL LinkDestroyHookableEvent(HostHandle) { return 0; }
int MIRANDA_CDECL LinkNotifyEventHooks(HostHandle, WParam, LParam) { return 0; }
HostHandle MIRANDA_CDECL LinkHookEventMessage(const char*, void*, unsigned) { return 0; }
HostHandle MIRANDA_CDECL LinkCreateTransientServiceFunction(const char*, ServiceHandler) {
  return 0;
}
int MIRANDA_CDECL LinkDestroyServiceFunction(HostHandle) { return 0; }
int MIRANDA_CDECL LinkCallFunctionAsync(void(MIRANDA_STDCALL*)(void*), void*) { return 0; }
int MIRANDA_CDECL LinkSetHookDefault(HostHandle, EventHook) { return 0; }

HostHandle MIRANDA_CDECL LinkHookEvent(const char* name, EventHook hook) {
  std::lock_guard<std::recursive_mutex> lock(S().mutex);
  const HostHandle handle = S().nextHook++;
  S().hooks.push_back({handle, CopyText(name), hook});
  return handle;
}

int MIRANDA_CDECL LinkUnhookEvent(HostHandle handle) {
  std::lock_guard<std::recursive_mutex> lock(S().mutex);
  auto& hooks = S().hooks;
  auto found = std::find_if(hooks.begin(), hooks.end(),
                            [handle](const Hook& hook) { return hook.handle == handle; });
  if (found == hooks.end()) return 1;
  hooks.erase(found);
  return 0;
}

HostHandle MIRANDA_CDECL LinkCreateServiceFunction(const char* name, ServiceHandler service) {
  std::lock_guard<std::recursive_mutex> lock(S().mutex);
  const std::string key = CopyText(name);
  if (S().pluginServices.count(key) != 0 || S().hostServices.count(key) != 0) return 0;
  S().pluginServices[key] = service;
  S().pluginServiceOrder.push_back(key);
  return reinterpret_cast<HostHandle>(service);
}

intptr_t MIRANDA_CDECL LinkCallService(const char* name, WParam wParam, LParam lParam) {
  return TestHost::Instance().CallService(CopyText(name), wParam, lParam);
}

int MIRANDA_CDECL LinkServiceExists(const char* name) {
  return TestHost::Instance().HasService(CopyText(name)) ? 1 : 0;
}

intptr_t MIRANDA_CDECL LinkCallServiceSync(const char* name, WParam wParam, LParam lParam) {
  return LinkCallService(name, wParam, lParam);
}

// --- The host's own services --------------------------------------------------

// Hands out a text as the host's memory, to be given back with FreeVariant:
// 8-bit and UTF-8 texts NUL-terminated, wide texts as UTF-16 with a NUL unit.
void HandOutText(DBVARIANT& out, uint8_t type, const std::string& text) {
  std::string bytes = text;
  if (type == DBVT_WCHAR) {
    const std::u16string wide = Utf8ToUtf16(text);
    bytes.assign(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
    bytes += '\0';  // with the NUL below, one NUL unit
  }
  auto* copy = static_cast<char*>(std::malloc(bytes.size() + 1));
  std::memcpy(copy, bytes.c_str(), bytes.size() + 1);
  S().liveVariantTexts.insert(copy);
  out.type = type;
  out.text.pszVal = copy;
  out.text.cchVal = static_cast<uint16_t>(text.size());
}

// The stored value of a request; nullptr with the answer in `result` when
// there is none.
const Value* FindRequested(WParam contact, const DBCONTACTGETSETTING* request, intptr_t& result) {
  result = 1;
  if (request == nullptr || request->pValue == nullptr) return nullptr;
  Contact* owner = S().Find(contact);
  if (owner == nullptr) return nullptr;
  const SettingKey key{CopyText(request->szModule), CopyText(request->szSetting)};
  auto found = owner->settings.find(key);
  if (found != owner->settings.end()) return &found->second;
  // The real host answers 2 with type 0 for a deleted setting.
  if (owner->deleted.count(key) != 0) {
    request->pValue->type = DBVT_DELETED;
    result = 2;
  }
  return nullptr;
}

// Answers a read with `answer`(stored value, variant) when the setting is
// there, and as the host does for a missing or deleted one otherwise.
template <typename Answer>
intptr_t AnswerRead(WParam contact, LParam lParam, Answer answer) {
  auto* request = reinterpret_cast<DBCONTACTGETSETTING*>(lParam);
  std::lock_guard<std::recursive_mutex> lock(S().mutex);
  intptr_t result = 1;
  const Value* stored = FindRequested(contact, request, result);
  return stored == nullptr ? result : answer(*stored, *request->pValue);
}

intptr_t AnswerPlainRead(const Value& value, DBVARIANT& out) {
  switch (value.type) {
    case DBVT_BYTE:
      out.type = DBVT_BYTE;
      out.bVal = static_cast<uint8_t>(value.number);
      break;
    case DBVT_WORD:
      out.type = DBVT_WORD;
      out.wVal = static_cast<uint16_t>(value.number);
      break;
    case DBVT_DWORD:
      out.type = DBVT_DWORD;
      out.dVal = value.number;
      break;
    case DBVT_ASCIIZ: HandOutText(out, DBVT_ASCIIZ, value.text); break;
    case DBVT_UTF8: {
      // As in the real host: 8-bit text when the code page holds every
      // character, otherwise wide text.
      const std::optional<std::string> bytes = EncodeCp1252(value.text);
      if (bytes)
        HandOutText(out, DBVT_ASCIIZ, *bytes);
      else
        HandOutText(out, DBVT_WCHAR, value.text);
      break;
    }
    default: return 1;
  }
  return 0;
}

// The typed read: a text converted to the type the variant names on entry.
intptr_t AnswerTypedRead(const Value& value, DBVARIANT& out) {
  const uint8_t wanted = out.type;
  if (value.type != DBVT_ASCIIZ && value.type != DBVT_UTF8) return 1;
  if (wanted != DBVT_ASCIIZ && wanted != DBVT_UTF8 && wanted != DBVT_WCHAR) return 1;
  const std::string utf8 = value.type == DBVT_UTF8 ? value.text : DecodeCp1252(value.text);
  if (wanted == DBVT_ASCIIZ)
    HandOutText(out, DBVT_ASCIIZ, EncodeCp1252(utf8).value_or(std::string(utf8.size(), '?')));
  else
    HandOutText(out, wanted, utf8);
  return 0;
}

intptr_t MIRANDA_CDECL DbGetSetting(WParam contact, LParam lParam) {
  return AnswerRead(contact, lParam, AnswerPlainRead);
}

intptr_t MIRANDA_CDECL DbGetSettingStr(WParam contact, LParam lParam) {
  return AnswerRead(contact, lParam, AnswerTypedRead);
}

intptr_t MIRANDA_CDECL DbFreeVariant(WParam, LParam lParam) {
  auto* value = reinterpret_cast<DBVARIANT*>(lParam);
  std::lock_guard<std::recursive_mutex> lock(S().mutex);
  if (value == nullptr) return 1;
  const bool text =
      value->type == DBVT_ASCIIZ || value->type == DBVT_UTF8 || value->type == DBVT_WCHAR;
  if (text && value->text.pszVal != nullptr) {
    auto found = S().liveVariantTexts.find(value->text.pszVal);
    if (found == S().liveVariantTexts.end()) return 1;  // not the host's memory
    S().liveVariantTexts.erase(found);
    std::free(value->text.pszVal);
    value->text.pszVal = nullptr;
  }
  value->type = DBVT_DELETED;
  return 0;
}

intptr_t MIRANDA_CDECL DbWriteSetting(WParam contact, LParam lParam) {
  const auto* request = reinterpret_cast<const DBCONTACTWRITESETTING*>(lParam);
  std::lock_guard<std::recursive_mutex> lock(S().mutex);
  Contact* owner = S().Find(contact);
  if (request == nullptr || owner == nullptr) return 1;
  Value value;
  value.type = request->value.type;
  switch (request->value.type) {
    case DBVT_BYTE: value.number = request->value.bVal; break;
    case DBVT_WORD: value.number = request->value.wVal; break;
    case DBVT_DWORD: value.number = request->value.dVal; break;
    case DBVT_ASCIIZ: value.text = CopyText(request->value.text.pszVal); break;
    // The real host keeps UTF-8 and wide writes as UTF-8, plain ASCII too.
    case DBVT_UTF8: value.text = CopyText(request->value.text.pszVal); break;
    case DBVT_WCHAR: {
      const auto* units = reinterpret_cast<const char16_t*>(request->value.text.pszVal);
      std::size_t length = 0;
      while (units != nullptr && units[length] != 0) ++length;
      if (units != nullptr) AppendUtf16AsUtf8(units, length, value.text);
      value.type = DBVT_UTF8;
      break;
    }
    default: return 1;
  }
  const SettingKey key{CopyText(request->szModule), CopyText(request->szSetting)};
  S().writes.push_back({contact, key.first, key.second, value});
  // As the real database: a longer text is refused, and nothing is stored.
  if (value.text.size() > kHostTextLimit) return 1;
  owner->deleted.erase(key);
  owner->settings[key] = value;
  return 0;
}

intptr_t MIRANDA_CDECL DbDeleteSetting(WParam contact, LParam lParam) {
  const auto* request = reinterpret_cast<const DBCONTACTGETSETTING*>(lParam);
  std::lock_guard<std::recursive_mutex> lock(S().mutex);
  Contact* owner = S().Find(contact);
  if (request == nullptr || owner == nullptr) return 1;
  const SettingKey key{CopyText(request->szModule), CopyText(request->szSetting)};
  S().writes.push_back({contact, key.first, key.second, std::nullopt});
  if (owner->settings.erase(key) == 0) return 1;
  owner->deleted.insert(key);
  return 0;
}

intptr_t MIRANDA_CDECL DbGetCount(WParam, LParam) {
  std::lock_guard<std::recursive_mutex> lock(S().mutex);
  return static_cast<intptr_t>(S().contacts.size());
}

intptr_t MIRANDA_CDECL DbFindFirst(WParam, LParam) {
  std::lock_guard<std::recursive_mutex> lock(S().mutex);
  return S().contacts.empty() ? 0 : static_cast<intptr_t>(S().contacts.front().handle);
}

intptr_t MIRANDA_CDECL DbFindNext(WParam contact, LParam) {
  std::lock_guard<std::recursive_mutex> lock(S().mutex);
  auto found = S().index.find(contact);
  if (found == S().index.end()) return 0;
  auto next = std::next(found->second);
  return next == S().contacts.end() ? 0 : static_cast<intptr_t>(next->handle);
}

intptr_t MIRANDA_CDECL DbAdd(WParam, LParam) {
  std::function<void()> action;
  {
    std::lock_guard<std::recursive_mutex> lock(S().mutex);
    if (S().failContactAdd) return 0;
    action = S().onContactAdd;
  }
  // Outside the lock: the action may call back into the plug-in.
  if (action) action();
  return static_cast<intptr_t>(TestHost::Instance().AddContact());
}

// As the real host: asks nothing, and the contact leaves the walk at once.
intptr_t MIRANDA_CDECL DbDelete(WParam contact, LParam) {
  std::lock_guard<std::recursive_mutex> lock(S().mutex);
  auto found = S().index.find(contact);
  if (found == S().index.end()) return 1;
  S().contacts.erase(found->second);
  S().index.erase(found);
  return 0;
}

intptr_t MIRANDA_CDECL ProtoGetContactBaseProto(WParam contact, LParam) {
  std::lock_guard<std::recursive_mutex> lock(S().mutex);
  Contact* owner = contact != 0 ? S().Find(contact) : nullptr;
  if (owner == nullptr) return 0;
  auto found = owner->settings.find({"Protocol", "p"});
  if (found == owner->settings.end() || found->second.type != DBVT_ASCIIZ) return 0;
  // Answers only for a protocol the host knows, with the host's own text.
  auto known = S().knownProtocols.find(found->second.text);
  if (known == S().knownProtocols.end()) return 0;
  return reinterpret_cast<intptr_t>(known->c_str());
}

intptr_t MIRANDA_CDECL ProtoRegisterModule(WParam, LParam lParam) {
  const auto* descriptor = reinterpret_cast<const PROTOCOLDESCRIPTOR*>(lParam);
  std::lock_guard<std::recursive_mutex> lock(S().mutex);
  if (descriptor == nullptr) return 1;
  S().protocols.push_back({descriptor->cbSize, CopyText(descriptor->szName), descriptor->type});
  S().knownProtocols.insert(CopyText(descriptor->szName));
  return 0;
}

intptr_t MIRANDA_CDECL ProtoBroadcastAck(WParam, LParam lParam) {
  const auto* ack = reinterpret_cast<const ACKDATA*>(lParam);
  if (ack == nullptr) return 1;
  Ack record;
  record.cbSize = ack->cbSize;
  record.module = CopyText(ack->szModule);
  record.contact = ack->hContact;
  record.type = ack->type;
  record.result = ack->result;
  record.process = ack->hProcess;
  record.lParam = ack->lParam;
  record.thread = std::this_thread::get_id();
  std::chrono::milliseconds delay;
  {
    std::lock_guard<std::recursive_mutex> lock(S().mutex);
    delay = S().ackDelay;
  }
  std::this_thread::sleep_for(delay);
  {
    std::lock_guard<std::recursive_mutex> lock(S().mutex);
    S().acks.push_back(record);
  }
  S().acksChanged.notify_all();
  return 0;
}

intptr_t MIRANDA_CDECL LangPackTranslateString(WParam, LParam lParam) {
  const auto* text = reinterpret_cast<const char*>(lParam);
  std::lock_guard<std::recursive_mutex> lock(S().mutex);
  if (text == nullptr) return 0;
  S().translationRequests.push_back(text);
  auto found = S().translations.find(text);
  // Without a translation the real host answers the very pointer it was given.
  if (found == S().translations.end()) return lParam;
  S().translatedTexts.push_back(found->second);
  return reinterpret_cast<intptr_t>(S().translatedTexts.back().c_str());
}

MenuItem RecordMenuItem(const CLISTMENUITEM& item, bool contactMenu) {
  MenuItem record;
  record.contactMenu = contactMenu;
  record.cbSize = item.cbSize;
  record.name = CopyText(item.pszName);
  record.flags = item.flags;
  record.position = item.position;
  record.icon = item.hIcon;
  record.service = CopyText(item.pszService);
  record.hasPopup = item.pszPopupName != nullptr;
  record.popupName = CopyText(item.pszPopupName);
  record.popupPosition = item.popupPosition;
  record.hotKey = item.hotKey;
  record.hasContactOwner = item.pszContactOwner != nullptr;
  record.contactOwner = CopyText(item.pszContactOwner);
  return record;
}

intptr_t MIRANDA_CDECL CListAddMainMenuItem(WParam, LParam lParam) {
  const auto* item = reinterpret_cast<const CLISTMENUITEM*>(lParam);
  std::lock_guard<std::recursive_mutex> lock(S().mutex);
  if (item == nullptr) return 0;
  MenuItem record = RecordMenuItem(*item, false);
  record.handle = S().nextMenuItem++;
  S().menuItems.push_back(record);
  return static_cast<intptr_t>(record.handle);
}

intptr_t MIRANDA_CDECL CListAddContactMenuItem(WParam, LParam lParam) {
  const auto* item = reinterpret_cast<const CLISTMENUITEM*>(lParam);
  std::lock_guard<std::recursive_mutex> lock(S().mutex);
  if (item == nullptr) return 0;
  MenuItem record = RecordMenuItem(*item, true);
  record.handle = S().nextMenuItem++;
  S().menuItems.push_back(record);
  return static_cast<intptr_t>(record.handle);
}

intptr_t MIRANDA_CDECL CListModifyMenuItem(WParam handle, LParam lParam) {
  const auto* item = reinterpret_cast<const CLISTMENUITEM*>(lParam);
  std::lock_guard<std::recursive_mutex> lock(S().mutex);
  if (item == nullptr) return 1;
  S().modifications.push_back(
      {static_cast<HostHandle>(handle), item->cbSize, item->flags, item->pszName != nullptr});
  return 0;
}

void RegisterHostServices(TestHost::State& state) {
  state.hostServices = {
      {"DB/Contact/GetSetting", DbGetSetting},
      {"DB/Contact/GetSettingStr", DbGetSettingStr},
      {"DB/Contact/FreeVariant", DbFreeVariant},
      {"DB/Contact/WriteSetting", DbWriteSetting},
      {"DB/Contact/DeleteSetting", DbDeleteSetting},
      {"DB/Contact/GetCount", DbGetCount},
      {"DB/Contact/FindFirst", DbFindFirst},
      {"DB/Contact/FindNext", DbFindNext},
      {"DB/Contact/Add", DbAdd},
      {"DB/Contact/Delete", DbDelete},
      {"Proto/GetContactBaseProto", ProtoGetContactBaseProto},
      {"Proto/RegisterModule", ProtoRegisterModule},
      {"Proto/BroadcastAck", ProtoBroadcastAck},
      {"LangPack/TranslateString", LangPackTranslateString},
      {"CList/AddMainMenuItem", CListAddMainMenuItem},
      {"CList/AddContactMenuItem", CListAddContactMenuItem},
      {"CList/ModifyMenuItem", CListModifyMenuItem},
  };
}

}  // namespace

TestHost& TestHost::Instance() {
  static TestHost* host = new TestHost;  // lives as long as the process
  return *host;
}

TestHost::TestHost() : state_(new State) {
  GlobalState = state_;
  PLUGINLINK& link = state_->link;
  link.CreateHookableEvent = LinkCreateHookableEvent;
  link.DestroyHookableEvent = LinkDestroyHookableEvent;
  link.NotifyEventHooks = LinkNotifyEventHooks;
  link.HookEvent = LinkHookEvent;
  link.HookEventMessage = LinkHookEventMessage;
  link.UnhookEvent = LinkUnhookEvent;
  link.CreateServiceFunction = LinkCreateServiceFunction;
  link.CreateTransientServiceFunction = LinkCreateTransientServiceFunction;
  link.DestroyServiceFunction = LinkDestroyServiceFunction;
  link.CallService = LinkCallService;
  link.ServiceExists = LinkServiceExists;
  link.CallServiceSync = LinkCallServiceSync;
  link.CallFunctionAsync = LinkCallFunctionAsync;
  link.SetHookDefaultForHookableEvent = LinkSetHookDefault;
  RegisterHostServices(*state_);
}

void TestHost::Reset() {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  State& s = *state_;
  s.contacts.clear();
  s.index.clear();
  s.moduleLevel = Contact{};
  s.nextContact = kFirstContact;
  s.failContactAdd = false;
  s.onContactAdd = nullptr;
  s.ackDelay = std::chrono::milliseconds(0);
  s.pluginServices.clear();
  s.pluginServiceOrder.clear();
  s.hooks.clear();
  s.nextHook = kFirstHook;
  s.nextMenuItem = kFirstMenuItem;
  s.knownProtocols.clear();
  s.protocols.clear();
  s.acks.clear();
  s.menuItems.clear();
  s.modifications.clear();
  s.translations.clear();
  s.translationRequests.clear();
  s.callCounts.clear();
  s.writes.clear();
  for (char* text : s.liveVariantTexts) std::free(text);
  s.liveVariantTexts.clear();
  RegisterHostServices(s);
}

PLUGINLINK* TestHost::Link() { return &state_->link; }

ContactHandle TestHost::AddContact() {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  Contact contact;
  contact.handle = state_->nextContact;
  state_->nextContact += 4;
  state_->contacts.push_front(contact);
  state_->index[contact.handle] = state_->contacts.begin();
  return contact.handle;
}

ContactHandle TestHost::AddKestrinContact() {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  const ContactHandle contact = AddContact();
  SetString(contact, "Protocol", "p", "mKestrinUser");
  return contact;
}

ContactHandle TestHost::AddKestrinUser(const ContactDetails& details,
                                       std::optional<uint32_t> userId) {
  constexpr const char* kModule = "mKestrinUser";
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  const ContactHandle contact = AddKestrinContact();
  SetString(contact, "Protocol", "0", "Ignore");
  SetString(contact, "CList", "MyHandle",
            details.last.empty() ? details.first : details.first + " " + details.last);
  if (userId) SetDword(contact, kModule, "UserID", *userId);
  SetString(contact, kModule, "Nick", details.nick);
  SetString(contact, kModule, "FirstName", details.first);
  SetString(contact, kModule, "LastName", details.last);
  SetDword(contact, kModule, "ContactType", static_cast<uint32_t>(details.contactType));
  if (!details.email.empty()) SetString(contact, kModule, "e-mail", details.email);
  if (!details.homepage.empty()) SetString(contact, kModule, "Homepage", details.homepage);
  if (!details.mobile.empty()) {
    SetString(contact, kModule, "Cellular", details.mobile + " SMS");
    SetString(contact, kModule, "AlternativeCellular", details.mobile);
  }
  SetDword(contact, kModule, "RealIP", details.address);
  return contact;
}

ContactHandle TestHost::AddForeignContact(const std::string& protocol) {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  RegisterProtocol(protocol);
  const ContactHandle contact = AddContact();
  SetString(contact, "Protocol", "p", protocol);
  return contact;
}

std::vector<ContactHandle> TestHost::Contacts() const {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  std::vector<ContactHandle> handles;
  for (const auto& contact : state_->contacts) handles.push_back(contact.handle);
  return handles;
}

std::size_t TestHost::ContactCount() const {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  return state_->contacts.size();
}

namespace {

void Store(TestHost::State& state, ContactHandle contact, const std::string& module,
           const std::string& setting, const Value& value) {
  Contact* owner = state.Find(contact);
  if (owner == nullptr) return;
  owner->deleted.erase({module, setting});
  owner->settings[{module, setting}] = value;
}

}  // namespace

void TestHost::SetByte(ContactHandle contact, const std::string& module, const std::string& setting,
                       uint8_t value) {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  Store(*state_, contact, module, setting, {DBVT_BYTE, value, {}});
}

void TestHost::SetWord(ContactHandle contact, const std::string& module, const std::string& setting,
                       uint16_t value) {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  Store(*state_, contact, module, setting, {DBVT_WORD, value, {}});
}

void TestHost::SetDword(ContactHandle contact, const std::string& module,
                        const std::string& setting, uint32_t value) {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  Store(*state_, contact, module, setting, {DBVT_DWORD, value, {}});
}

void TestHost::SetString(ContactHandle contact, const std::string& module,
                         const std::string& setting, const std::string& value) {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  Store(*state_, contact, module, setting, {DBVT_ASCIIZ, 0, value});
}

void TestHost::SetUtf8(ContactHandle contact, const std::string& module, const std::string& setting,
                       const std::string& value) {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  Store(*state_, contact, module, setting, {DBVT_UTF8, 0, value});
}

void TestHost::Delete(ContactHandle contact, const std::string& module,
                      const std::string& setting) {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  Contact* owner = state_->Find(contact);
  if (owner != nullptr && owner->settings.erase({module, setting}) != 0)
    owner->deleted.insert({module, setting});
}

std::optional<Value> TestHost::Get(ContactHandle contact, const std::string& module,
                                   const std::string& setting) const {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  Contact* owner = state_->Find(contact);
  if (owner == nullptr) return std::nullopt;
  auto found = owner->settings.find({module, setting});
  if (found == owner->settings.end()) return std::nullopt;
  return found->second;
}

bool TestHost::Has(ContactHandle contact, const std::string& module,
                   const std::string& setting) const {
  return Get(contact, module, setting).has_value();
}

std::optional<uint32_t> TestHost::Number(ContactHandle contact, const std::string& module,
                                         const std::string& setting) const {
  auto value = Get(contact, module, setting);
  if (!value || (value->type != DBVT_BYTE && value->type != DBVT_WORD && value->type != DBVT_DWORD))
    return std::nullopt;
  return value->number;
}

std::optional<std::string> TestHost::Text(ContactHandle contact, const std::string& module,
                                          const std::string& setting) const {
  auto value = Get(contact, module, setting);
  if (!value || (value->type != DBVT_ASCIIZ && value->type != DBVT_UTF8)) return std::nullopt;
  return value->text;
}

std::optional<std::string> TestHost::Utf8Text(ContactHandle contact, const std::string& module,
                                              const std::string& setting) const {
  auto value = Get(contact, module, setting);
  if (!value || (value->type != DBVT_ASCIIZ && value->type != DBVT_UTF8)) return std::nullopt;
  return value->type == DBVT_UTF8 ? value->text : DecodeCp1252(value->text);
}

std::map<std::pair<std::string, std::string>, Value> TestHost::Settings(
    ContactHandle contact) const {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  Contact* owner = state_->Find(contact);
  if (owner == nullptr) return {};
  return owner->settings;
}

std::size_t TestHost::LiveVariantTexts() const {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  return state_->liveVariantTexts.size();
}

std::vector<SettingWrite> TestHost::Writes() const {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  return state_->writes;
}

void TestHost::ClearWrites() {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  state_->writes.clear();
}

void TestHost::SetFailContactAdd(bool fail) {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  state_->failContactAdd = fail;
}

void TestHost::OnContactAdd(std::function<void()> action) {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  state_->onContactAdd = std::move(action);
}

void TestHost::DropHostService(const std::string& name) {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  state_->hostServices.erase(name);
}

void TestHost::RegisterProtocol(const std::string& name) {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  state_->knownProtocols.insert(name);
}

intptr_t TestHost::CallService(const std::string& name, WParam wParam, LParam lParam) {
  ServiceHandler handler = nullptr;
  {
    std::lock_guard<std::recursive_mutex> lock(state_->mutex);
    ++state_->callCounts[name];
    auto host = state_->hostServices.find(name);
    if (host != state_->hostServices.end()) {
      handler = host->second;
    } else {
      auto plugin = state_->pluginServices.find(name);
      if (plugin != state_->pluginServices.end()) handler = plugin->second;
    }
  }
  // Called without the lock: a plug-in service may run long (a modal window)
  // and call back into the host from other threads.
  if (handler == nullptr) return CALLSERVICE_NOTFOUND;
  return handler(wParam, lParam);
}

bool TestHost::HasService(const std::string& name) const {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  return state_->hostServices.count(name) != 0 || state_->pluginServices.count(name) != 0;
}

std::vector<std::string> TestHost::PluginServices() const {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  return state_->pluginServiceOrder;
}

intptr_t TestHost::FireEvent(const std::string& event, WParam wParam, LParam lParam) {
  std::vector<EventHook> hooks;
  {
    std::lock_guard<std::recursive_mutex> lock(state_->mutex);
    for (const Hook& hook : state_->hooks)
      if (hook.event == event) hooks.push_back(hook.function);
  }
  intptr_t result = 0;
  for (EventHook hook : hooks) result = hook(wParam, lParam);
  return result;
}

std::size_t TestHost::HookCount(const std::string& event) const {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  return static_cast<std::size_t>(
      std::count_if(state_->hooks.begin(), state_->hooks.end(),
                    [&event](const Hook& hook) { return hook.event == event; }));
}

std::size_t TestHost::CallCount(const std::string& service) const {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  auto found = state_->callCounts.find(service);
  return found == state_->callCounts.end() ? 0 : found->second;
}

std::map<std::string, std::size_t> TestHost::CallCounts() const {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  return {state_->callCounts.begin(), state_->callCounts.end()};
}

std::vector<Protocol> TestHost::Protocols() const {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  return state_->protocols;
}

std::vector<Ack> TestHost::Acks() const {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  return state_->acks;
}

bool TestHost::WaitForAcks(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::recursive_mutex> lock(state_->mutex);
  return state_->acksChanged.wait_for(lock, timeout,
                                      [this, count] { return state_->acks.size() >= count; });
}

void TestHost::ClearAcks() {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  state_->acks.clear();
}

void TestHost::SetAckDelay(std::chrono::milliseconds delay) {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  state_->ackDelay = delay;
}

std::vector<MenuItem> TestHost::MenuItems() const {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  return state_->menuItems;
}

std::vector<MenuModification> TestHost::MenuModifications() const {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  return state_->modifications;
}

void TestHost::AddTranslation(const std::string& from, const std::string& to) {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  state_->translations[from] = to;
}

std::vector<std::string> TestHost::TranslationRequests() const {
  std::lock_guard<std::recursive_mutex> lock(state_->mutex);
  return state_->translationRequests;
}

ContactDetails SampleUser() {
  ContactDetails user;
  user.nick = "Annie";
  user.first = "Anna";
  user.last = "Lee";
  user.contactType = 1;  // Family
  user.email = "anna.lee@example.com";
  user.homepage = "http://www.example.com/~alee";
  user.mobile = "0171 555 0101";
  user.address = 0xC0A80001;  // 192.168.0.1
  return user;
}

std::set<std::string> LangpackKeys(const std::string& path) {
  std::ifstream in(path);
  std::set<std::string> keys;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']')
      keys.insert(line.substr(1, line.size() - 2));
  }
  return keys;
}

}  // namespace testhost
