// The boundary of the user's commands (Add, Edit, Import, Export): no
// exception reaches the host, and none passes unnoticed.
#pragma once

#include <functional>

#include "host/m_globaldefs.h"

// The name of the commands' popup menu; without its "&", the caption of their messages.
inline constexpr const char* kCommandsPopup = "&Kestrin Users";

// Runs `body`. An exception from it is told in an error box: `failure`
// translated, and on a second line what went wrong. Answers 0.
intptr_t GuardedCommand(const char* failure, const std::function<void()>& body) noexcept;
