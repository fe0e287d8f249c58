#include "keyboard.h"

#include <vector>

namespace keyboard {

namespace {

INPUT KeyEvent(WORD virtualKey, bool up) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = virtualKey;
  input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(virtualKey, 0 /* MAPVK_VK_TO_VSC */));
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  return input;
}

void Send(std::vector<INPUT>& inputs) {
  if (!inputs.empty())
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), static_cast<int>(sizeof(INPUT)));
}

void AddStroke(std::vector<INPUT>& inputs, WORD virtualKey, bool shift) {
  if (shift) inputs.push_back(KeyEvent(VK_SHIFT, false));
  inputs.push_back(KeyEvent(virtualKey, false));
  inputs.push_back(KeyEvent(virtualKey, true));
  if (shift) inputs.push_back(KeyEvent(VK_SHIFT, true));
}

}  // namespace

void Press(WORD virtualKey) {
  std::vector<INPUT> inputs;
  AddStroke(inputs, virtualKey, false);
  Send(inputs);
}

void PressWith(WORD modifier, WORD virtualKey) {
  std::vector<INPUT> inputs{KeyEvent(modifier, false), KeyEvent(virtualKey, false),
                            KeyEvent(virtualKey, true), KeyEvent(modifier, true)};
  Send(inputs);
}

void Type(std::string_view text) {
  std::vector<INPUT> inputs;
  for (char c : text) {
    const SHORT key = VkKeyScanA(c);
    if (key == -1) continue;
    AddStroke(inputs, static_cast<WORD>(key & 0xFF), (key & 0x100) != 0);
  }
  Send(inputs);
}

void TypeUnicode(std::wstring_view text) {
  std::vector<INPUT> inputs;
  for (wchar_t unit : text) {
    for (bool up : {false, true}) {
      INPUT input{};
      input.type = INPUT_KEYBOARD;
      input.ki.wScan = static_cast<WORD>(unit);
      input.ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
      inputs.push_back(input);
    }
  }
  Send(inputs);
}

}  // namespace keyboard
