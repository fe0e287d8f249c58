// Real keyboard input for the Wine suite: key strokes go through SendInput to
// whatever window has the focus, exactly as a user's typing does.
#pragma once

#include <windows.h>

#include <string_view>

namespace keyboard {

// Presses and releases one virtual key.
void Press(WORD virtualKey);
// Presses `virtualKey` while `modifier` (VK_SHIFT, VK_CONTROL, ...) is held.
void PressWith(WORD modifier, WORD virtualKey);
// Types the characters of `text` (those of the current keyboard layout).
void Type(std::string_view text);
// Types any characters, as an input method does: each UTF-16 unit is one
// key stroke of the platform's Unicode packet key.
void TypeUnicode(std::wstring_view text);

inline void Tab() { Press(VK_TAB); }
inline void ShiftTab() { PressWith(VK_SHIFT, VK_TAB); }
inline void Escape() { Press(VK_ESCAPE); }
inline void Enter() { Press(VK_RETURN); }
inline void Space() { Press(VK_SPACE); }

}  // namespace keyboard
