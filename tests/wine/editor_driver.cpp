#include "editor_driver.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>

#include "keyboard.h"

const ControlLayout kEditorLayout[kEditorControlCount] = {
    {"Static", 8, 8, 229, 13, 0, 0x50000000, "&Full Name"},
    {"Edit", 8, 24, 229, 21, 0x200, 0x500100C0, ""},
    {"Static", 8, 56, 229, 13, 0, 0x50000000, "&Nick Name"},
    {"Edit", 8, 72, 229, 21, 0x200, 0x500100C0, ""},
    {"Static", 8, 104, 229, 13, 0, 0x50000000, "Contact &Type"},
    {"ComboBox", 8, 120, 229, 140, 0, 0x5001024F, ""},
    {"Static", 8, 152, 229, 13, 0, 0x50000000, "Cellular &Phone"},
    {"Edit", 8, 168, 229, 21, 0x200, 0x500100C0, ""},
    {"Static", 8, 200, 229, 13, 0, 0x50000000, "&E-mail"},
    {"Edit", 8, 216, 229, 21, 0x200, 0x500100C0, ""},
    {"Static", 8, 248, 229, 13, 0, 0x50000000, "&Home Page"},
    {"Edit", 8, 264, 229, 21, 0x200, 0x500100C0, ""},
    {"Static", 8, 296, 229, 13, 0, 0x50000000, "&IP"},
    {"Edit", 8, 312, 229, 21, 0x200, 0x500100C0, "0.0.0.0"},
    {"Static", 8, 340, 229, 1, 0, 0x50000006, ""},
    {"Static", 8, 339, 229, 1, 0, 0x50000004, ""},
    {"Button", 36, 347, 75, 25, 0x4, 0x50010000, "&OK"},
    {"Button", 132, 347, 75, 25, 0x4, 0x50010000, "Close"},
};

namespace {

BOOL CALLBACK CollectWindow(HWND window, LPARAM parameter) {
  reinterpret_cast<std::vector<HWND>*>(parameter)->push_back(window);
  return TRUE;
}

bool Matches(const std::string& className, const char* expected) {
  return lstrcmpiA(className.c_str(), expected) == 0;
}

}  // namespace

std::vector<std::pair<HWND, RECT>> ChildPlaces(HWND window) {
  std::vector<std::pair<HWND, RECT>> places;
  for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    RECT place{};
    GetWindowRect(child, &place);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&place), 2);
    places.emplace_back(child, place);
  }
  return places;
}

EditorView WaitForEditor(DWORD uiThread, const char* caption, DWORD timeoutMs) {
  EditorView view;
  view.window = WaitForTopWindow(caption, caption, timeoutMs);
  if (view.window == nullptr) return view;
  const auto places = ChildPlaces(view.window);
  for (int i = 0; i < kEditorControlCount; ++i) {
    for (const auto& [child, place] : places) {
      if (place.left == kEditorLayout[i].left && place.top == kEditorLayout[i].top &&
          Matches(ClassNameOf(child), kEditorLayout[i].className))
        view.controls[i] = child;
    }
  }
  // The plug-in's part: the window shown, active on its thread, the focus in
  // the full-name field. Typing then needs it in the foreground.
  if (view.controls[kFullName] == nullptr || !WaitForFocus(uiThread, view[kFullName], timeoutMs) ||
      !BringToFront(view.window, timeoutMs))
    view.window = nullptr;
  return view;
}

std::pair<int, int> SelectionOf(HWND edit) {
  DWORD start = 0;
  DWORD end = 0;
  SendWithTimeout(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                  reinterpret_cast<LPARAM>(&end));
  return {static_cast<int>(start), static_cast<int>(end)};
}

HWND FocusOf(DWORD thread) {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

bool WaitForFocus(DWORD thread, HWND expected, DWORD timeoutMs) {
  return WaitFor([&] { return FocusOf(thread) == expected; }, timeoutMs);
}

bool WaitForText(HWND window, const std::string& expected, DWORD timeoutMs) {
  return WaitFor([&] { return TextOf(window) == expected; }, timeoutMs);
}

bool WaitUntilGone(HWND window, DWORD timeoutMs) {
  return WaitFor([&] { return !IsWindow(window); }, timeoutMs);
}

std::vector<HWND> ThreadWindows(DWORD thread) {
  std::vector<HWND> windows;
  EnumThreadWindows(thread, CollectWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

HWND WaitForMessageBox(HWND owner, DWORD timeoutMs) {
  HWND found = nullptr;
  WaitFor(
      [&] {
        DWORD thread = GetWindowThreadProcessId(owner, nullptr);
        for (HWND window : ThreadWindows(thread)) {
          if (IsWindowVisible(window) && ClassNameOf(window) == "#32770" &&
              GetWindow(window, GW_OWNER) == owner) {
            found = window;
            return true;
          }
        }
        return false;
      },
      timeoutMs);
  return found;
}

bool BringToFront(HWND window, DWORD timeoutMs) {
  auto inFront = [window] { return GetForegroundWindow() == window; };
  if (WaitFor(inFront, 500)) return true;
  SetForegroundWindow(window);
  return WaitFor(inFront, timeoutMs);
}

bool TypeAfterAClosedBox(DWORD thread, HWND window, HWND field, const std::string& text,
                         const std::string& expected) {
  const std::string before = TextOf(field);
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (!BringToFront(window) || !WaitForFocus(thread, field)) return false;
    keyboard::Type(text);
    if (WaitForText(field, expected)) return true;
    if (TextOf(field) != before) return false;  // the keys arrived, but not as expected
  }
  return false;
}

namespace {

// Closes what a driver body left open on the UI thread: message boxes first,
// then every other window; posted, so that nothing here can block.
void CloseLeftovers(DWORD uiThread) {
  for (HWND window : ThreadWindows(uiThread))
    if (IsWindowVisible(window) && ClassNameOf(window) == "#32770")
      PostMessageA(window, WM_CLOSE, 0, 0);
  for (HWND window : ThreadWindows(uiThread))
    if (IsWindowVisible(window)) PostMessageA(window, WM_CLOSE, 0, 0);
}

}  // namespace

EditorDriver::EditorDriver(DWORD uiThread, std::function<void()> body)
    : thread_([uiThread, body = std::move(body)] {
        body();
        CloseLeftovers(uiThread);
      }) {}

EditorDriver::~EditorDriver() { Join(); }

void EditorDriver::Join() { thread_.Join(); }

// --- Pictures ---------------------------------------------------------------

namespace {

uint32_t Crc32(const uint8_t* data, size_t size) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> entries{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      entries[n] = c;
    }
    return entries;
  }();
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void PutBig32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void PutChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
  PutBig32(out, static_cast<uint32_t>(data.size()));
  std::vector<uint8_t> body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  out.insert(out.end(), body.begin(), body.end());
  PutBig32(out, Crc32(body.data(), body.size()));
}

// An RGB PNG of `rows` (filter byte 0 and the pixels of each row), stored
// without compression: small code, and any viewer reads it.
std::vector<uint8_t> EncodePng(int width, int height, const std::vector<uint8_t>& rows) {
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  PutBig32(header, static_cast<uint32_t>(width));
  PutBig32(header, static_cast<uint32_t>(height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
  PutChunk(png, "IHDR", header);

  std::vector<uint8_t> zlib = {0x78, 0x01};
  size_t offset = 0;
  do {
    const size_t block = std::min<size_t>(65535, rows.size() - offset);
    const bool last = offset + block == rows.size();
    zlib.push_back(last ? 1 : 0);
    zlib.push_back(static_cast<uint8_t>(block & 0xFF));
    zlib.push_back(static_cast<uint8_t>(block >> 8));
    zlib.push_back(static_cast<uint8_t>(~block & 0xFF));
    zlib.push_back(static_cast<uint8_t>((~block >> 8) & 0xFF));
    zlib.insert(zlib.end(), rows.begin() + static_cast<ptrdiff_t>(offset),
                rows.begin() + static_cast<ptrdiff_t>(offset + block));
    offset += block;
  } while (offset < rows.size());
  uint32_t a = 1;
  uint32_t b = 0;
  for (uint8_t byte : rows) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  PutBig32(zlib, (b << 16) | a);
  PutChunk(png, "IDAT", zlib);
  PutChunk(png, "IEND", {});
  return png;
}

}  // namespace

bool SaveWindowPicture(HWND window, const std::string& path) {
  // Everything painted anew before the picture is taken: no window with a
  // region left to paint, and a message answered after the last paint.
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
  const bool painted = WaitFor([window] {
    if (GetUpdateRect(window, nullptr, FALSE)) return false;
    for (const auto& [child, place] : ChildPlaces(window))
      if (GetUpdateRect(child, nullptr, FALSE)) return false;
    return true;
  });
  if (!painted) return false;
  SendWithTimeout(window, WM_NULL, 0, 0);
  RECT place{};
  if (!GetWindowRect(window, &place)) return false;
  const int width = place.right - place.left;
  const int height = place.bottom - place.top;

  const PictureDC picture(width, height, 24);
  if (picture.dc() == nullptr) return false;
  const HDC windowDC = GetWindowDC(window);
  const bool copied = BitBlt(picture.dc(), 0, 0, width, height, windowDC, 0, 0, SRCCOPY) != 0;
  ReleaseDC(window, windowDC);
  if (!copied) return false;
  GdiFlush();

  const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
  const auto* pixels = static_cast<const uint8_t*>(picture.bits());
  std::vector<uint8_t> rows;
  rows.reserve(static_cast<size_t>(height) * (static_cast<size_t>(width) * 3 + 1));
  for (int y = 0; y < height; ++y) {
    rows.push_back(0);
    const uint8_t* row = pixels + static_cast<size_t>(y) * stride;
    for (int x = 0; x < width; ++x) {
      rows.push_back(row[x * 3 + 2]);
      rows.push_back(row[x * 3 + 1]);
      rows.push_back(row[x * 3]);
    }
  }
  const std::vector<uint8_t> png = EncodePng(width, height, rows);
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
  return std::fclose(file) == 0 && written;
}
