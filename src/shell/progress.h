// The progress window of long work: how far it has got, and a Cancel button.
// The DLL implements it with Win32; the native test host records what it
// would show and presses Cancel when a test asks it to.
#pragma once

#include <memory>
#include <string>

#include "host/m_globaldefs.h"

namespace shell {

// The top-level window the user started the command from (the host's main
// window when the command came from its menu); 0 when there is none. Asked
// at the command's start, before any window of the command takes the focus.
HostHandle CommandWindow();

class ProgressWindow {
 public:
  virtual ~ProgressWindow() = default;
  // Shows `status` and a bar filled to `permille` / 1000, then handles the
  // messages waiting for this window and the paint of this thread's other
  // windows, so that they stay painted; the rest waits until the work ends.
  virtual void Show(const std::string& status, int permille) = 0;
  // True once the user pressed Cancel (or the thread was asked to quit).
  virtual bool CancelPressed() const = 0;
};

struct ProgressTexts {
  std::string title;
  std::string cancel;  // the button's caption
};

// Opens the window, owned by `owner` (which stays disabled until the window
// is destroyed, as under a modal dialog); null when it cannot be made, and
// the work then simply runs without it.
std::unique_ptr<ProgressWindow> OpenProgressWindow(HostHandle owner, const ProgressTexts& texts);

}  // namespace shell
