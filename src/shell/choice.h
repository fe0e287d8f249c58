// The question of a command that the user answers with one of a few buttons,
// in a small window of the plug-in's own.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "host/m_globaldefs.h"

namespace shell {

// The texts are already translated; a "&" marks a button's access key. The
// first button is the default (Enter), the last one the way out (Esc and the
// close box).
struct ChoiceRequest {
  HostHandle owner = 0;  // disabled while the window is up; 0: none
  std::string caption;
  std::string text;
  std::vector<std::string> buttons;
};

// The button chosen, from 0; the last one when the window was closed, or
// could not be made.
std::size_t AskChoice(const ChoiceRequest& request);

}  // namespace shell
