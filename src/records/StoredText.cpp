#include "records/StoredText.h"

#include "host/unicode_text.h"
#include "shell/code_page.h"

std::optional<std::string> ToCodePage(std::string_view utf8) {
  if (IsAscii(utf8)) return std::string(utf8);
  std::string bytes;
  if (!shell::EncodeCodePage(utf8, bytes)) return std::nullopt;
  return bytes;
}

std::string FromCodePage(std::string_view bytes) {
  if (IsAscii(bytes)) return std::string(bytes);
  return shell::DecodeCodePage(bytes);
}

std::string GetSettingString(ContactHandle contact, const char* module, const char* setting,
                             const std::string& fallback) {
  std::optional<HostText> value = GetSettingText(contact, module, setting);
  if (!value) return fallback;
  // An older host may answer 8-bit text even when asked for UTF-8.
  return value->type == DBVT_ASCIIZ ? FromCodePage(value->text) : std::move(value->text);
}

bool WriteSettingString(ContactHandle contact, const char* module, const char* setting,
                        const std::string& utf8) {
  std::optional<std::string> bytes = ToCodePage(utf8);
  if (bytes) return WriteSettingText(contact, module, setting, {DBVT_ASCIIZ, std::move(*bytes)});
  return WriteSettingText(contact, module, setting, {DBVT_UTF8, utf8});
}

std::string Translated(const char* text) { return FromCodePage(TranslateText(text)); }
