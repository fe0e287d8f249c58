#include "exchange/commands/exchange_messages.h"

#include <atomic>

#include "records/StoredText.h"
#include "shell/shell.h"

namespace {

// True while an Import or Export command runs.
std::atomic<bool> exchangeRunning{false};

}  // namespace

void ShowClosingMessage(const char* text, const std::string& caption) {
  shell::ShowMessage(Translated(text), caption, shell::kMessageOk);
}

std::string FilledText(const char* text, std::initializer_list<std::string> values) {
  std::string filled = Translated(text);
  std::size_t from = 0;
  for (const std::string& value : values) {
    std::size_t mark = filled.find('%', from);
    while (mark != std::string::npos && mark + 1 < filled.size() && filled[mark + 1] != 'u' &&
           filled[mark + 1] != 's')
      mark = filled.find('%', mark + 1);
    if (mark == std::string::npos || mark + 1 >= filled.size()) break;
    filled.replace(mark, 2, value);
    from = mark + value.size();  // a value is never read for marks
  }
  return filled;
}

std::string LineText(const char* text, std::size_t line) {
  return FilledText(text, {std::to_string(line)});
}

void ShowFileFailure(const char* text, const std::string& where, const std::string& path,
                     const std::string& reason, const std::string& caption) {
  std::string message = Translated(text);
  if (!where.empty()) message += "\n" + where;
  shell::ShowMessage(message + "\n\n" + path + ": " + reason, caption, shell::kMessageIconError);
}

ExchangeGuard::ExchangeGuard() : entered_(!exchangeRunning.exchange(true)) {}

ExchangeGuard::~ExchangeGuard() {
  if (entered_) exchangeRunning = false;
}
