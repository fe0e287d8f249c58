// The native stand-in of the system code page (code_page.h): 1252, as under
// Wine here.
#include <optional>
#include <string>
#include <utility>

#include "shell/code_page.h"
#include "testhost/text_encodings.h"

namespace shell {

bool EncodeCodePage(std::string_view utf8, std::string& bytes) {
  std::optional<std::string> encoded = testhost::EncodeCp1252(utf8);
  if (!encoded) return false;
  bytes = std::move(*encoded);
  return true;
}

std::string DecodeCodePage(std::string_view bytes) { return testhost::DecodeCp1252(bytes); }

}  // namespace shell
