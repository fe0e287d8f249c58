#include "exchange/commands/progress.h"

#include <utility>

#include "exchange/commands/exchange_messages.h"
#include "records/StoredText.h"

namespace {

constexpr const char* kProgressDone = N_("Kestrin users:");

int Permille(uint64_t position, uint64_t total) {
  if (total == 0 || position >= total) return total == 0 ? 0 : 1000;
  return static_cast<int>(position * 1000 / total);
}

}  // namespace

ProgressShown::ProgressShown(HostHandle owner, std::string title, std::chrono::milliseconds delay)
    : owner_(owner), title_(std::move(title)), delay_(delay) {}

void ProgressShown::Advance(std::size_t done, uint64_t position, uint64_t total) {
  if (++sinceCheck_ < kCheckEvery) return;
  sinceCheck_ = 0;
  const Clock::time_point now = Clock::now();
  if (window_ == nullptr) {
    if (opened_ || now - start_ < delay_) return;
    opened_ = true;
    window_ = shell::OpenProgressWindow(owner_, {title_, Translated(kCancelText)});
    if (window_ == nullptr) return;
  } else if (now - lastShown_ < kRefresh) {
    return;
  }
  lastShown_ = now;
  window_->Show(Translated(kProgressDone) + " " + std::to_string(done), Permille(position, total));
}
