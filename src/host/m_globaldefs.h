// The host's binary interface and the thin layer of typed operations over it.
//
// Everything the plug-in does with the host goes through this header: the
// records the host passes, the service table, and typed helpers for settings,
// the contact walk, services, acknowledgements and translation. It includes no
// platform header, so the portable core and the test host can use it natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/text_mark.h"

#if defined(_WIN32)
#define MIRANDA_CDECL __cdecl
#define MIRANDA_STDCALL __stdcall
#else
#define MIRANDA_CDECL
#define MIRANDA_STDCALL
#endif

// Machine words as the host passes them (4 bytes in the 32-bit DLL).
using WParam = uintptr_t;
using LParam = intptr_t;
using HostHandle = uintptr_t;     // hooks, services, menu items, icons, processes
using ContactHandle = uintptr_t;  // 0 addresses the module-level settings

// Handlers answer a machine word: an int in the 32-bit host, wide enough for
// the pointer answers (the unique-id setting name) in native builds.
using ServiceHandler = intptr_t(MIRANDA_CDECL*)(WParam, LParam);
using EventHook = intptr_t(MIRANDA_CDECL*)(WParam, LParam);

struct PLUGININFO {
  int cbSize;
  const char* shortName;
  uint32_t version;
  const char* description;
  const char* author;
  const char* authorEmail;
  const char* copyright;
  const char* homepage;
  uint8_t flags;  // isTransient
  int replacesDefaultModule;
};

struct PLUGINLINK {
  HostHandle(MIRANDA_CDECL* CreateHookableEvent)(const char* name);
  int(MIRANDA_CDECL* DestroyHookableEvent)(HostHandle event);
  int(MIRANDA_CDECL* NotifyEventHooks)(HostHandle event, WParam, LParam);
  HostHandle(MIRANDA_CDECL* HookEvent)(const char* name, EventHook hook);
  HostHandle(MIRANDA_CDECL* HookEventMessage)(const char* name, void* window, unsigned message);
  int(MIRANDA_CDECL* UnhookEvent)(HostHandle hook);
  HostHandle(MIRANDA_CDECL* CreateServiceFunction)(const char* name, ServiceHandler service);
  HostHandle(MIRANDA_CDECL* CreateTransientServiceFunction)(const char* name,
                                                            ServiceHandler service);
  int(MIRANDA_CDECL* DestroyServiceFunction)(HostHandle service);
  intptr_t(MIRANDA_CDECL* CallService)(const char* name, WParam, LParam);
  int(MIRANDA_CDECL* ServiceExists)(const char* name);
  intptr_t(MIRANDA_CDECL* CallServiceSync)(const char* name, WParam, LParam);
  int(MIRANDA_CDECL* CallFunctionAsync)(void(MIRANDA_STDCALL* fn)(void*), void* arg);
  int(MIRANDA_CDECL* SetHookDefaultForHookableEvent)(HostHandle event, EventHook hook);
};

enum : uint8_t {
  DBVT_DELETED = 0,
  DBVT_BYTE = 1,
  DBVT_WORD = 2,
  DBVT_DWORD = 4,
  DBVT_WCHAR = 252,
  DBVT_UTF8 = 253,
  DBVT_BLOB = 254,
  DBVT_ASCIIZ = 255,
};

struct DBText {
  char* pszVal;
  uint16_t cchVal;
};

struct DBBlob {
  uint16_t cpbVal;
  uint8_t* pbVal;
};

struct DBVARIANT {
  uint8_t type;
  union {
    uint8_t bVal;
    uint16_t wVal;
    uint32_t dVal;
    DBText text;
    DBBlob blob;
  };
};

struct DBCONTACTGETSETTING {
  const char* szModule;
  const char* szSetting;
  DBVARIANT* pValue;
};

struct DBCONTACTWRITESETTING {
  const char* szModule;
  const char* szSetting;
  DBVARIANT value;
};

struct PROTOCOLDESCRIPTOR {
  int cbSize;
  const char* szName;
  int type;
};

struct ACKDATA {
  int cbSize;
  const char* szModule;
  ContactHandle hContact;
  int type;
  int result;
  HostHandle hProcess;
  LParam lParam;
};

struct CCSDATA {
  ContactHandle hContact;
  const char* szProtoService;
  WParam wParam;
  LParam lParam;
};

struct CLISTMENUITEM {
  int cbSize;
  const char* pszName;
  uint32_t flags;
  int position;
  HostHandle hIcon;
  const char* pszService;
  const char* pszPopupName;
  int popupPosition;
  uint32_t hotKey;
  const char* pszContactOwner;
};

#if UINTPTR_MAX == 0xFFFFFFFFu
// The layouts the real host expects; a mismatch here crashes the messenger.
static_assert(sizeof(PLUGININFO) == 40, "PLUGININFO");
static_assert(offsetof(PLUGININFO, version) == 8, "PLUGININFO.version");
static_assert(offsetof(PLUGININFO, homepage) == 28, "PLUGININFO.homepage");
static_assert(offsetof(PLUGININFO, flags) == 32, "PLUGININFO.flags");
static_assert(offsetof(PLUGININFO, replacesDefaultModule) == 36, "PLUGININFO.replaces");
static_assert(sizeof(PLUGINLINK) == 14 * 4, "PLUGINLINK");
static_assert(offsetof(PLUGINLINK, HookEvent) == 3 * 4, "PLUGINLINK.HookEvent");
static_assert(offsetof(PLUGINLINK, UnhookEvent) == 5 * 4, "PLUGINLINK.UnhookEvent");
static_assert(offsetof(PLUGINLINK, CreateServiceFunction) == 6 * 4, "PLUGINLINK.Create");
static_assert(offsetof(PLUGINLINK, CallService) == 9 * 4, "PLUGINLINK.CallService");
static_assert(sizeof(DBVARIANT) == 12, "DBVARIANT");
static_assert(offsetof(DBVARIANT, dVal) == 4, "DBVARIANT.dVal");
static_assert(offsetof(DBVARIANT, text.pszVal) == 4, "DBVARIANT.pszVal");
static_assert(offsetof(DBVARIANT, text.cchVal) == 8, "DBVARIANT.cchVal");
static_assert(offsetof(DBVARIANT, blob.pbVal) == 8, "DBVARIANT.pbVal");
static_assert(sizeof(DBCONTACTGETSETTING) == 12, "DBCONTACTGETSETTING");
static_assert(offsetof(DBCONTACTGETSETTING, pValue) == 8, "DBCONTACTGETSETTING.pValue");
static_assert(sizeof(DBCONTACTWRITESETTING) == 20, "DBCONTACTWRITESETTING");
static_assert(offsetof(DBCONTACTWRITESETTING, value) == 8, "DBCONTACTWRITESETTING.value");
static_assert(sizeof(PROTOCOLDESCRIPTOR) == 12, "PROTOCOLDESCRIPTOR");
static_assert(sizeof(ACKDATA) == 28, "ACKDATA");
static_assert(offsetof(ACKDATA, hContact) == 8, "ACKDATA.hContact");
static_assert(offsetof(ACKDATA, hProcess) == 20, "ACKDATA.hProcess");
static_assert(offsetof(ACKDATA, lParam) == 24, "ACKDATA.lParam");
static_assert(sizeof(CCSDATA) == 16, "CCSDATA");
static_assert(offsetof(CCSDATA, lParam) == 12, "CCSDATA.lParam");
static_assert(sizeof(CLISTMENUITEM) == 40, "CLISTMENUITEM");
static_assert(offsetof(CLISTMENUITEM, hIcon) == 16, "CLISTMENUITEM.hIcon");
static_assert(offsetof(CLISTMENUITEM, pszService) == 20, "CLISTMENUITEM.pszService");
static_assert(offsetof(CLISTMENUITEM, popupPosition) == 28, "CLISTMENUITEM.popupPosition");
static_assert(offsetof(CLISTMENUITEM, pszContactOwner) == 36, "CLISTMENUITEM.owner");
#endif

// Host constants used by the plug-in.
constexpr intptr_t CALLSERVICE_NOTFOUND = static_cast<intptr_t>(0x80000000u);
constexpr int PROTOTYPE_PROTOCOL = 1000;

constexpr uint32_t ID_STATUS_OFFLINE = 40071;
constexpr uint32_t ID_STATUS_ONLINE = 40072;
constexpr uint32_t ID_STATUS_AWAY = 40073;
constexpr uint32_t ID_STATUS_DND = 40074;
constexpr uint32_t ID_STATUS_NA = 40075;
constexpr uint32_t ID_STATUS_OCCUPIED = 40076;
constexpr uint32_t ID_STATUS_FREECHAT = 40077;
constexpr uint32_t ID_STATUS_OUTTOLUNCH = 40080;

constexpr int ACKTYPE_MESSAGE = 0;
constexpr int ACKTYPE_STATUS = 12;
constexpr int ACKRESULT_SUCCESS = 0;

constexpr int PFLAGNUM_1 = 1;
constexpr int PFLAGNUM_2 = 2;
constexpr int PFLAG_UNIQUEIDSETTING = 300;
constexpr int PF1_IMSEND = 0x1;
constexpr int PF2_ONLINE = 0x01;
constexpr int PF2_SHORTAWAY = 0x04;
constexpr int PF2_LONGAWAY = 0x08;
constexpr int PF2_LIGHTDND = 0x10;
constexpr int PF2_HEAVYDND = 0x20;
constexpr int PF2_FREECHAT = 0x40;

constexpr uint32_t CMIF_HIDDEN = 0x4;
constexpr uint32_t CMIM_FLAGS = 0x40000000;

constexpr uint32_t PackVersion(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  return (a << 24) | (b << 16) | (c << 8) | d;
}

// Typed operations over the host's services. All of them go through HostLink;
// before Load has given the plug-in a service table they do nothing and read
// defaults, so no path can crash on a missing host.
intptr_t CallHostService(const char* name, WParam wParam, LParam lParam);
HostHandle HookHostEvent(const char* name, EventHook hook);
void UnhookHostEvent(HostHandle hook);
void CreateHostService(const char* name, ServiceHandler handler);
// Creates the service named `module` immediately followed by `suffix`.
void CreateModuleService(const char* module, const char* suffix, ServiceHandler handler);

uint16_t GetSettingWord(ContactHandle contact, const char* module, const char* setting,
                        uint16_t fallback);
uint32_t GetSettingDword(ContactHandle contact, const char* module, const char* setting,
                         uint32_t fallback);
// A text setting as the host holds it: 8-bit text in the system's code page
// (DBVT_ASCIIZ) or UTF-8 (DBVT_UTF8). Which to write, and the conversions, are
// the records' storage rule (records/StoredText.h).
struct HostText {
  uint8_t type = DBVT_ASCIIZ;
  std::string text;
};
// Asks the host for UTF-8 ("DB/Contact/GetSettingStr"); a host without that
// service is asked the plain way, and a wide answer becomes UTF-8. A copy: the
// host's own storage is handed back before returning. std::nullopt when the
// setting is missing or holds no text.
std::optional<HostText> GetSettingText(ContactHandle contact, const char* module,
                                       const char* setting);
// Writes answer true when the host stored the value.
bool WriteSettingWord(ContactHandle contact, const char* module, const char* setting,
                      uint16_t value);
bool WriteSettingDword(ContactHandle contact, const char* module, const char* setting,
                       uint32_t value);
// A text longer than the database keeps is cut to StorableText first, rather than lost.
bool WriteSettingText(ContactHandle contact, const char* module, const char* setting,
                      const HostText& value);

// The longest text setting the host's database keeps, in bytes; it refuses a longer one.
inline constexpr std::size_t kMaxStoredText = 65534;
// The longest start of `text` that the database keeps, ending between two
// characters: UTF-8 text is never cut inside a character; 8-bit text of a
// single-byte code page may be cut at any byte.
std::string_view StorableText(std::string_view text, bool utf8);
void DeleteSetting(ContactHandle contact, const char* module, const char* setting);
// Removes the contact and everything it holds; it leaves the walk at once,
// so a walk takes the next handle before deleting the current one. True when
// the host deleted it.
bool DeleteContact(ContactHandle contact);

// The host's translation of `text`, copied: 8-bit text in the code page.
// Every literal that can reach it is marked N_("...") where it stands.
std::string TranslateText(const char* text);

void BroadcastAck(const char* module, ContactHandle contact, int type, int result,
                  HostHandle process, LParam extra);

// Visits exactly as many handles as the host counts, starting at FindFirst and
// asking FindNext after each one has been visited; `visit(contact, index,
// count)` answers whether to go on.
template <typename Visit>
void WalkContacts(Visit visit) {
  // The count is a 32-bit int in the host; a missing service (0x80000000) reads
  // as negative and visits nothing.
  const auto count = static_cast<int32_t>(CallHostService("DB/Contact/GetCount", 0, 0));
  auto contact = static_cast<ContactHandle>(CallHostService("DB/Contact/FindFirst", 0, 0));
  for (int32_t i = 0; i < count; ++i) {
    if (!visit(contact, i, count)) return;
    contact = static_cast<ContactHandle>(CallHostService("DB/Contact/FindNext", contact, 0));
  }
}

template <typename Visit>
void ForEachContact(Visit visit) {
  WalkContacts([&visit](ContactHandle contact, int32_t, int32_t) {
    visit(contact);
    return true;
  });
}

// Runs a handler body so that no exception reaches the host; a failure inside
// answers `onFailure`.
template <typename Body>
intptr_t GuardedHandler(Body body, intptr_t onFailure = 0) noexcept {
  try {
    return body();
  } catch (...) {
    return onFailure;
  }
}
