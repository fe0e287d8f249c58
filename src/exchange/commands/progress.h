// Progress of long work: the loops of Import and Export report each item,
// and stop when the user asks them to.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "host/m_globaldefs.h"
#include "shell/progress.h"

class ProgressObserver {
 public:
  virtual ~ProgressObserver() = default;
  // `done` items finished; `position` of `total` units (bytes of a file,
  // contacts of the database) tells how far through the whole the work is.
  virtual void Advance(std::size_t done, uint64_t position, uint64_t total) = 0;
  // True once the work should stop after the item it has finished.
  virtual bool Cancelled() const = 0;
  // The work has ended; called before its closing message.
  virtual void Finished() {}
};

// Shows the progress window once the work has run for `delay`, and keeps it up
// to date a few times a second. The clock is read only every few items, so
// that work which ends sooner costs no more than a counter.
class ProgressShown final : public ProgressObserver {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kDefaultDelay{500};
  // The window's messages are handled at each update: ten a second answer
  // Cancel at once and cost a fifth less than twenty.
  static constexpr std::chrono::milliseconds kRefresh{100};
  static constexpr std::size_t kCheckEvery = 16;

  // `owner` and `title` as for the window; `title` is already translated.
  ProgressShown(HostHandle owner, std::string title,
                std::chrono::milliseconds delay = kDefaultDelay);

  void Advance(std::size_t done, uint64_t position, uint64_t total) override;
  bool Cancelled() const override { return window_ != nullptr && window_->CancelPressed(); }
  void Finished() override { window_.reset(); }
  bool Shown() const { return window_ != nullptr; }

 private:
  HostHandle owner_;
  std::string title_;
  std::chrono::milliseconds delay_;
  Clock::time_point start_ = Clock::now();
  Clock::time_point lastShown_;
  std::size_t sinceCheck_ = 0;
  bool opened_ = false;  // opening was tried; it is not tried twice
  std::unique_ptr<shell::ProgressWindow> window_;
};
