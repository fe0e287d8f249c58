// The host's contact list, as far as its cost goes: the real one answers every
// new or deleted contact and every change of a setting it shows by posting
// itself a message and arming short timers, and each of those walks the whole
// list. The test host calls Changed() from its database services; the window
// calls `walk` for every message it handles and every timer that expires.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

namespace testhost {

class ContactListWindow {
 public:
  virtual ~ContactListWindow() = default;
  // A shown contact or setting changed; the list now holds `contacts`.
  virtual void Changed(std::size_t contacts) = 0;
};

// Under Windows a hidden window of the calling thread: one posted message
// pending at a time (a change while one waits adds nothing), and the resort
// (10-200 ms, longer for a longer list), rebuild (50 ms) and sort (500 ms)
// timers, each re-armed by every change made on that thread, as SetTimer
// does; a change from another thread only posts. Natively null: no message
// loop runs there, and the list costs nothing.
std::unique_ptr<ContactListWindow> OpenContactListWindow(std::function<void()> walk);

}  // namespace testhost
