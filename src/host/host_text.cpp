#include "host/host_text.h"

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
