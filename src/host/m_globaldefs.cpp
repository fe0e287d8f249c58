#include "host/m_globaldefs.h"

#include <optional>
#include <string>

#include "host/globals.h"
#include "host/unicode_text.h"

intptr_t CallHostService(const char* name, WParam wParam, LParam lParam) {
  if (HostLink == nullptr || HostLink->CallService == nullptr) return CALLSERVICE_NOTFOUND;
  return HostLink->CallService(name, wParam, lParam);
}

HostHandle HookHostEvent(const char* name, EventHook hook) {
  if (HostLink == nullptr || HostLink->HookEvent == nullptr) return 0;
  return HostLink->HookEvent(name, hook);
}

void UnhookHostEvent(HostHandle hook) {
  if (HostLink == nullptr || HostLink->UnhookEvent == nullptr || hook == 0) return;
  HostLink->UnhookEvent(hook);
}

void CreateHostService(const char* name, ServiceHandler handler) {
  if (HostLink == nullptr || HostLink->CreateServiceFunction == nullptr) return;
  HostLink->CreateServiceFunction(name, handler);
}

void CreateModuleService(const char* module, const char* suffix, ServiceHandler handler) {
  const std::string name = std::string(module) + suffix;
  CreateHostService(name.c_str(), handler);
}

namespace {

// Reads a setting into `value`; true when the host found it. The caller must
// hand text and blob values back with ReleaseVariant.
bool ReadSetting(ContactHandle contact, const char* module, const char* setting, DBVARIANT& value) {
  value = DBVARIANT{};
  DBCONTACTGETSETTING request{module, setting, &value};
  return CallHostService("DB/Contact/GetSetting", contact, reinterpret_cast<LParam>(&request)) == 0;
}

bool HoldsHostMemory(const DBVARIANT& value) {
  return value.type == DBVT_ASCIIZ || value.type == DBVT_UTF8 || value.type == DBVT_WCHAR ||
         value.type == DBVT_BLOB;
}

void ReleaseVariant(DBVARIANT& value) {
  if (HoldsHostMemory(value))
    CallHostService("DB/Contact/FreeVariant", 0, reinterpret_cast<LParam>(&value));
}

// Numeric settings of another width are read as the number they hold; a text
// or blob where a number is expected reads as missing.
bool ReadNumber(ContactHandle contact, const char* module, const char* setting, uint32_t& number) {
  DBVARIANT value;
  if (!ReadSetting(contact, module, setting, value)) return false;
  bool found = true;
  switch (value.type) {
    case DBVT_BYTE: number = value.bVal; break;
    case DBVT_WORD: number = value.wVal; break;
    case DBVT_DWORD: number = value.dVal; break;
    default: found = false; break;
  }
  ReleaseVariant(value);
  return found;
}

// A variant for the host to fill; once the host has answered it (Filled),
// it is handed back to the host when it goes.
class HostVariant {
 public:
  HostVariant() = default;
  ~HostVariant() {
    if (filled_) ReleaseVariant(value_);
  }
  HostVariant(const HostVariant&) = delete;
  HostVariant& operator=(const HostVariant&) = delete;
  DBVARIANT& get() { return value_; }
  void Filled() { filled_ = true; }

 private:
  DBVARIANT value_{};
  bool filled_ = false;
};

// A text answer: 8-bit text as it is, UTF-8 and wide text as UTF-8;
// std::nullopt when the value is no text.
std::optional<HostText> TextOfVariant(const DBVARIANT& value) {
  const char* bytes = value.text.pszVal;
  if (bytes == nullptr) return std::nullopt;
  switch (value.type) {
    case DBVT_UTF8:
    case DBVT_ASCIIZ: return HostText{value.type, bytes};
    case DBVT_WCHAR: {
      // Two-byte units of UTF-16; not the native wchar_t, which may be wider.
      const auto* units = reinterpret_cast<const char16_t*>(bytes);
      std::size_t length = 0;
      while (units[length] != 0) ++length;
      HostText text{DBVT_UTF8, std::string()};
      AppendUtf16AsUtf8(units, length, text.text);
      return text;
    }
    default: return std::nullopt;
  }
}
bool WriteSetting(ContactHandle contact, const char* module, const char* setting,
                  const DBVARIANT& value) {
  DBCONTACTWRITESETTING request{module, setting, value};
  return CallHostService("DB/Contact/WriteSetting", contact, reinterpret_cast<LParam>(&request)) ==
         0;
}

}  // namespace

uint16_t GetSettingWord(ContactHandle contact, const char* module, const char* setting,
                        uint16_t fallback) {
  uint32_t number = 0;
  return ReadNumber(contact, module, setting, number) ? static_cast<uint16_t>(number) : fallback;
}

uint32_t GetSettingDword(ContactHandle contact, const char* module, const char* setting,
                         uint32_t fallback) {
  uint32_t number = 0;
  return ReadNumber(contact, module, setting, number) ? number : fallback;
}

std::optional<HostText> GetSettingText(ContactHandle contact, const char* module,
                                       const char* setting) {
  HostVariant value;
  value.get().type = DBVT_UTF8;
  DBCONTACTGETSETTING request{module, setting, &value.get()};
  const intptr_t result =
      CallHostService("DB/Contact/GetSettingStr", contact, reinterpret_cast<LParam>(&request));
  // A host without the typed read answers through the plain one, in 8-bit or
  // wide text; either is taken, so nothing stored is lost.
  if (result == CALLSERVICE_NOTFOUND) {
    if (!ReadSetting(contact, module, setting, value.get())) return std::nullopt;
  } else if (result != 0) {
    return std::nullopt;
  }
  value.Filled();
  return TextOfVariant(value.get());
}

bool WriteSettingWord(ContactHandle contact, const char* module, const char* setting,
                      uint16_t value) {
  DBVARIANT variant{};
  variant.type = DBVT_WORD;
  variant.wVal = value;
  return WriteSetting(contact, module, setting, variant);
}

bool WriteSettingDword(ContactHandle contact, const char* module, const char* setting,
                       uint32_t value) {
  DBVARIANT variant{};
  variant.type = DBVT_DWORD;
  variant.dVal = value;
  return WriteSetting(contact, module, setting, variant);
}

bool WriteSettingText(ContactHandle contact, const char* module, const char* setting,
                      const HostText& value) {
  const std::string_view storable = StorableText(value.text, value.type == DBVT_UTF8);
  const std::string cut =
      storable.size() < value.text.size() ? std::string(storable) : std::string();
  DBVARIANT variant{};
  variant.type = value.type;
  // The host only reads the text during the call.
  variant.text.pszVal = const_cast<char*>(cut.empty() ? value.text.c_str() : cut.c_str());
  return WriteSetting(contact, module, setting, variant);
}

std::string_view StorableText(std::string_view text, bool utf8) {
  if (text.size() <= kMaxStoredText) return text;
  std::size_t length = kMaxStoredText;
  // Back to the first byte of the character at the cut: UTF-8 continuation bytes are 10xxxxxx.
  if (utf8)
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  return text.substr(0, length);
}
void DeleteSetting(ContactHandle contact, const char* module, const char* setting) {
  DBCONTACTGETSETTING request{module, setting, nullptr};
  CallHostService("DB/Contact/DeleteSetting", contact, reinterpret_cast<LParam>(&request));
}

bool DeleteContact(ContactHandle contact) {
  return CallHostService("DB/Contact/Delete", contact, 0) == 0;
}

std::string TranslateText(const char* text) {
  const intptr_t translated =
      CallHostService("LangPack/TranslateString", 0, reinterpret_cast<LParam>(text));
  if (translated == 0 || translated == CALLSERVICE_NOTFOUND) return text;
  return reinterpret_cast<const char*>(translated);
}

void BroadcastAck(const char* module, ContactHandle contact, int type, int result,
                  HostHandle process, LParam extra) {
  ACKDATA ack{};
  ack.cbSize = sizeof(ACKDATA);
  ack.szModule = module;
  ack.hContact = contact;
  ack.type = type;
  ack.result = result;
  ack.hProcess = process;
  ack.lParam = extra;
  CallHostService("Proto/BroadcastAck", 0, reinterpret_cast<LParam>(&ack));
}
