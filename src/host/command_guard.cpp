#include "host/command_guard.h"

#include <exception>
#include <new>
#include <string>

#include "editor/editor_text.h"
#include "shell/shell.h"

namespace {

constexpr const char* kOutOfMemory = "There is not enough memory.";
constexpr const char* kUnexpectedError = "An unexpected error occurred.";

void TellFailure(const char* failure, const char* reason, const char* detail) noexcept {
  try {
    std::string text = TranslateText(failure) + "\n" + TranslateText(reason);
    if (detail != nullptr && *detail != '\0') text += std::string(" (") + detail + ")";
    shell::ShowMessage(text, StripFirstAmpersand(kCommandsPopup), shell::kMessageIconError);
  } catch (...) {
    // Not even the message could be made: there is nothing more to do.
  }
}

}  // namespace

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
