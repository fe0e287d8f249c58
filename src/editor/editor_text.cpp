#include "editor/editor_text.h"

std::string StripFirstAmpersand(const std::string& text) {
  std::string result = text;
  const std::size_t ampersand = result.find('&');
  if (ampersand != std::string::npos) result.erase(ampersand, 1);
  return result;
}
