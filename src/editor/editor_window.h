// The Add / Edit window of a Kestrin user.
#pragma once

#include <string>

#include "host/m_globaldefs.h"

// Opens the editor window for `contact` (0: a new Kestrin user) titled with
// `caption` (untranslated, without its "&"), runs its message loop and
// returns when the window is gone. A second call while a window is open
// returns at once.
void RunEditorWindow(ContactHandle contact, const std::string& caption);
