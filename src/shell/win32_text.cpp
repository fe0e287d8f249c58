// Win32 implementation of the text conversions: UTF-8 and wide text for the
// platform's functions, and the system code page (code_page.h).
#include "shell/win32_text.h"

#include "shell/code_page.h"

namespace {

std::wstring ToWide(UINT codePage, std::string_view bytes) {
  if (bytes.empty()) return std::wstring();
  const int size = static_cast<int>(bytes.size());
  const int length = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), size, wide.data(), length);
  return wide;
}

}  // namespace

std::wstring Widen(std::string_view utf8) { return ToWide(CP_UTF8, utf8); }

std::string Narrow(const wchar_t* wide, int length) {
  if (length <= 0) return std::string();
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string utf8(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, length, utf8.data(), size, nullptr, nullptr);
  return utf8;
}

namespace shell {

bool EncodeCodePage(std::string_view utf8, std::string& bytes) {
  const std::wstring wide = Widen(utf8);
  if (wide.empty()) {
    bytes.clear();
    return utf8.empty();
  }
  const int length = static_cast<int>(wide.size());
  BOOL usedDefault = FALSE;
  const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length, nullptr,
                                       0, nullptr, &usedDefault);
  if (size <= 0 || usedDefault) return false;
  std::string encoded(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length, encoded.data(), size,
                      nullptr, &usedDefault);
  // Some code pages map a character to bytes that read back as another one:
  // only a text that comes back unchanged is represented exactly.
  if (usedDefault || ToWide(CP_ACP, encoded) != wide) return false;
  bytes = std::move(encoded);
  return true;
}

std::string DecodeCodePage(std::string_view bytes) { return Narrow(ToWide(CP_ACP, bytes)); }

}  // namespace shell
