// The plug-in in a window of its own, without the messenger: the test host
// loads mKestrinUser.dll from this program's folder, starts it as the
// messenger does (Load, then "Miranda/System/ModulesLoaded") with a few
// sample Kestrin users, and shows
//   - the contacts with their status icons, refreshed as the plug-in writes;
//   - the plug-in's main-menu items (menu bar and buttons, ordered by
//     position) and the contact menu of the selected contact (buttons and
//     right click), each calling its service as the messenger would;
//   - the protocol's online switch ("mKestrinUser/SetStatus") and a button
//     that sends the selected contact a message.
//
//   kestrin_demo                      run it by hand
//   kestrin_demo --screenshot X.bmp   open the editor on one contact, save a
//                                     picture of both windows, and exit
#include <windows.h>
// Needs the basic Windows types first.
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "host/m_globaldefs.h"
#include "host/unicode_text.h"
#include "records/KestrinUserU.h"
#include "testhost/test_host.h"
#include "testhost/win32_plugin_library.h"

namespace {

constexpr const char* kModuleName = "mKestrinUser";
constexpr const char* kWindowClass = "KestrinDemoHost";
constexpr const char* kTitle = "mKestrinUser demo - test host";

// --- Sample contacts -----------------------------------------------------

// Besides the sample user of the test host, first in the list.
const ContactDetails kMoreSampleUsers[] = {
    {"Mari", "Maria", "Garcia", 2, "maria.garcia@example.org", "", "", 0},
    {"John Smith", "John", "Smith", 3, "john.smith@example.com", "http://www.example.com/~jsmith",
     "0171 555 0102", 0},
    {"Pete", "Peter", "Brown", 4, "", "", "0171 555 0104", 0},
    {"Wei Zhang", "Wei", "Zhang", 5, "wei.zhang@example.net", "http://www.example.net/wei", "",
     0x0A000017},
    {"Olga Novak", "Olga", "Novak", 0, "", "", "", 0},
};

void AddSampleContacts(testhost::TestHost& host) {
  // A contact of another protocol: its menu must not offer the Edit item.
  const ContactHandle other = host.AddForeignContact("ICQ");
  host.SetString(other, "CList", "MyHandle", "Bob (ICQ)");
  host.SetWord(other, "ICQ", "Status", static_cast<uint16_t>(ID_STATUS_ONLINE));
  // The host puts each new contact first: add them last to first.
  for (auto user = std::rbegin(kMoreSampleUsers); user != std::rend(kMoreSampleUsers); ++user)
    host.AddKestrinUser(*user);
  host.AddKestrinUser(testhost::SampleUser());
}

// --- What the window shows -------------------------------------------------

const char* StatusName(uint32_t status) {
  switch (status) {
    case 40071: return "Offline";
    case 40072: return "Online";
    case 40073: return "Away";
    case 40074: return "Do not disturb";
    case 40075: return "Not available";
    case 40076: return "Occupied";
    case 40077: return "Free for chat";
    case 40078: return "Invisible";
    case 40079: return "On the phone";
    case 40080: return "Out to lunch";
    default: return "?";
  }
}

// The plug-in's status icons, by the resource numbers the messenger uses.
const std::pair<uint32_t, int> kStatusIcons[] = {
    {40072, 104}, {40071, 105}, {40073, 128}, {40077, 129},
    {40075, 131}, {40074, 158}, {40076, 159},
};

struct ContactRow {
  ContactHandle contact = 0;
  bool own = false;
  std::string name, nick, type;
  uint32_t status = ID_STATUS_OFFLINE;

  bool operator==(const ContactRow& other) const {
    return contact == other.contact && own == other.own && name == other.name &&
           nick == other.nick && type == other.type && status == other.status;
  }
};

std::vector<ContactRow> ReadContacts(testhost::TestHost& host) {
  std::vector<ContactRow> rows;
  for (ContactHandle contact : host.Contacts()) {
    ContactRow row;
    row.contact = contact;
    const std::string protocol = host.Text(contact, "Protocol", "p").value_or("");
    row.own = protocol == kModuleName;
    // Names in any script, as the Unicode contact list shows them.
    row.name = host.Utf8Text(contact, "CList", "MyHandle").value_or("(no name)");
    row.status = host.Number(contact, protocol, "Status").value_or(ID_STATUS_OFFLINE);
    if (row.own) {
      row.nick = host.Utf8Text(contact, kModuleName, "Nick").value_or("");
      const auto type =
          static_cast<int32_t>(host.Number(contact, kModuleName, "ContactType").value_or(0));
      row.type =
          type >= 0 && type < kContactTypeCount ? kContactTypeCaptions[type] : std::to_string(type);
    } else {
      row.type = "(" + protocol + " contact)";
    }
    rows.push_back(row);
  }
  return rows;
}

struct IconDeleter {
  void operator()(HICON icon) const { DestroyIcon(icon); }
};
using OwnedIcon = std::unique_ptr<std::remove_pointer_t<HICON>, IconDeleter>;

// The 16-pixel image of a plug-in icon, read again from its resource rather
// than scaled down from the large one.
OwnedIcon SmallIcon(HICON icon) {
  if (icon == nullptr) return nullptr;
  return OwnedIcon(static_cast<HICON>(CopyImage(icon, IMAGE_ICON, 16, 16, LR_COPYFROMRESOURCE)));
}

// One menu item of the plug-in, as the host recorded it.
struct Command {
  std::string name;
  std::string service;
  std::string popup;
  int position = 0;
  std::shared_ptr<std::remove_pointer_t<HICON>> smallIcon;
  bool contactMenu = false;
  HostHandle handle = 0;
};

std::vector<Command> ReadCommands(testhost::TestHost& host) {
  std::vector<Command> commands;
  for (const testhost::MenuItem& item : host.MenuItems()) {
    Command command;
    command.name = item.name;
    command.service = item.service;
    command.popup = item.hasPopup ? item.popupName : "";
    command.position = item.position;
    command.smallIcon = SmallIcon(reinterpret_cast<HICON>(item.icon));
    command.contactMenu = item.contactMenu;
    command.handle = item.handle;
    commands.push_back(command);
  }
  // The host shows every menu ordered by position.
  std::stable_sort(commands.begin(), commands.end(),
                   [](const Command& a, const Command& b) { return a.position < b.position; });
  return commands;
}

// --- Pictures ------------------------------------------------------------

// Writes a 24-bit BMP of `width` x `height` pixels taken from `dc`.
bool SaveBitmap(HDC dc, HBITMAP bitmap, int width, int height, const std::string& path) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as BMP files store it
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  const int stride = (width * 3 + 3) & ~3;
  std::vector<char> pixels(static_cast<size_t>(stride) * height);
  if (GetDIBits(dc, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS) != height)
    return false;
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return false;
  bool written = std::fwrite(&file, sizeof(file), 1, out) == 1 &&
                 std::fwrite(&info.bmiHeader, sizeof(BITMAPINFOHEADER), 1, out) == 1 &&
                 std::fwrite(pixels.data(), pixels.size(), 1, out) == 1;
  written = std::fclose(out) == 0 && written;
  return written;
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM windows) {
  if (IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(windows)->push_back(window);
  return TRUE;
}

// The visible top-level windows of this thread, copied from the screen onto
// a plain backdrop; whatever lies around them on the screen is left out.
bool SaveScreenshot(const std::string& path) {
  std::vector<HWND> windows;
  EnumThreadWindows(GetCurrentThreadId(), CollectWindow, reinterpret_cast<LPARAM>(&windows));
  if (windows.empty()) return false;
  RECT all{};
  for (HWND window : windows) {
    RECT place;
    GetWindowRect(window, &place);
    UnionRect(&all, &all, &place);
  }
  constexpr int kMargin = 12;
  InflateRect(&all, kMargin, kMargin);
  const int width = all.right - all.left;
  const int height = all.bottom - all.top;

  HDC screen = GetDC(nullptr);
  HDC canvas = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  bool saved = false;
  if (canvas != nullptr && bitmap != nullptr) {
    HGDIOBJ old = SelectObject(canvas, bitmap);
    RECT backdrop{0, 0, width, height};
    HBRUSH desktop = CreateSolidBrush(RGB(58, 110, 165));
    FillRect(canvas, &backdrop, desktop);
    DeleteObject(desktop);
    for (HWND window : windows) {
      RECT place;
      GetWindowRect(window, &place);
      BitBlt(canvas, place.left - all.left, place.top - all.top, place.right - place.left,
             place.bottom - place.top, screen, place.left, place.top, SRCCOPY);
    }
    SelectObject(canvas, old);
    saved = SaveBitmap(canvas, bitmap, width, height, path);
  }
  if (bitmap != nullptr) DeleteObject(bitmap);
  if (canvas != nullptr) DeleteDC(canvas);
  ReleaseDC(nullptr, screen);
  return saved;
}

// --- The window ------------------------------------------------------------

enum : int {
  kIdList = 100,
  kIdOnline,
  kIdSendMessage,
  kIdHeader,
  kIdProtocolIcon,
  kIdAckLine,
  kIdFirstCommand = 1000,  // + index into the commands
};
enum : UINT_PTR { kRefreshTimer = 1, kScreenshotTimer = 2 };
constexpr UINT kStartScreenshot = WM_APP + 1;

constexpr int kClientWidth = 620;
constexpr int kClientHeight = 392;
constexpr int kListWidth = 432;
constexpr int kPanelLeft = 452;
constexpr int kPanelWidth = 160;
constexpr int kButtonHeight = 26;

class DemoWindow {
 public:
  DemoWindow(testhost::TestHost& host, HMODULE plugin, std::string screenshot)
      : host_(host), plugin_(plugin), screenshot_(std::move(screenshot)) {}

  bool Create() {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &DemoWindow::Procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassExA(&windowClass);
    RECT frame{0, 0, kClientWidth, kClientHeight};
    // Wine under Xvfb draws the caption buttons with a font it lacks: the
    // picture shows the caption without them.
    const DWORD style = screenshot_.empty()
                            ? WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX
                            : WS_OVERLAPPED | WS_CAPTION;
    AdjustWindowRect(&frame, style, TRUE);
    window_ = CreateWindowExA(0, kWindowClass, kTitle, style, 16, 16, frame.right - frame.left,
                              frame.bottom - frame.top, nullptr, nullptr, GetModuleHandleA(nullptr),
                              this);
    return window_ != nullptr;
  }

  HWND Handle() const { return window_; }
  bool ScreenshotSaved() const { return screenshotSaved_; }
  void StartScreenshot() { PostMessageA(window_, kStartScreenshot, 0, 0); }

  // The outer right edge, where the screenshot puts the editor window.
  int Right() const {
    RECT place;
    GetWindowRect(window_, &place);
    return place.right;
  }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      auto* self =
          static_cast<DemoWindow*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
      self->window_ = window;
      SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<DemoWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    switch (message) {
      case WM_CREATE: self->OnCreate(); return 0;
      case WM_TIMER: self->OnTimer(wParam); return 0;
      case WM_COMMAND: self->OnCommand(LOWORD(wParam), HIWORD(wParam)); return 0;
      case WM_NOTIFY: return self->OnNotify(reinterpret_cast<NMHDR*>(lParam));
      case WM_DRAWITEM:
        self->OnDrawItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
      case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(wParam) == self->list_) self->ShowContactMenu(lParam);
        return 0;
      case kStartScreenshot: self->TakeScreenshot(); return 0;
      case WM_CLOSE:
        // A command of the plug-in still runs below us (the editor's loop).
        if (self->busy_ > 0)
          MessageBeep(MB_OK);
        else
          DestroyWindow(window);
        return 0;
      case WM_DESTROY:
        KillTimer(window, kRefreshTimer);
        PostQuitMessage(0);
        return 0;
      default: return DefWindowProcA(window, message, wParam, lParam);
    }
  }

  HWND AddControl(const char* className, const char* text, DWORD style, int left, int top,
                  int width, int height, int id, DWORD exStyle = 0) {
    HWND control = CreateWindowExA(
        exStyle, className, text, WS_CHILD | WS_VISIBLE | style, left, top, width, height, window_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                 FALSE);
    return control;
  }

  void OnCreate() {
    // The protocol as the messenger shows it: its icon and name.
    const auto icon = reinterpret_cast<HICON>(host_.CallService("mKestrinUser/LoadIcon", 0, 0));
    protocolIcon_ = SmallIcon(icon);
    char name[64] = {};
    host_.CallService("mKestrinUser/GetName", sizeof(name), reinterpret_cast<LParam>(name));
    protocolName_ = name;
    SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageA(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(protocolIcon_.get()));
    HWND iconControl =
        AddControl("STATIC", "", SS_ICON | SS_REALSIZEIMAGE, 8, 8, 16, 16, kIdProtocolIcon);
    SendMessageA(iconControl, STM_SETICON, reinterpret_cast<WPARAM>(protocolIcon_.get()), 0);
    header_ = AddControl("STATIC", "", SS_LEFT, 30, 10, 300, 16, kIdHeader);
    online_ =
        AddControl("BUTTON", "&Online", BS_AUTOCHECKBOX | WS_TABSTOP, 340, 8, 90, 20, kIdOnline);

    list_ = AddControl(WC_LISTVIEWA, "",
                       LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP | WS_BORDER, 8,
                       34, kListWidth, 320, kIdList);
    SendMessageA(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
    const std::pair<const char*, int> columns[] = {
        {"Contact", 110}, {"Nick", 80}, {"Contact type", 110}, {"Status", 110}};
    int index = 0;
    for (const auto& column : columns) {
      LVCOLUMNA lvColumn{};
      lvColumn.mask = LVCF_TEXT | LVCF_WIDTH;
      lvColumn.pszText = const_cast<char*>(column.first);
      lvColumn.cx = column.second;
      SendMessageA(list_, LVM_INSERTCOLUMNA, index++, reinterpret_cast<LPARAM>(&lvColumn));
    }
    // Owned by the list view, which destroys it with itself.
    HIMAGELIST images = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 8, 0);
    for (const auto& [status, resource] : kStatusIcons) {
      HICON statusIcon = static_cast<HICON>(
          LoadImageA(plugin_, MAKEINTRESOURCEA(resource), IMAGE_ICON, 16, 16, 0));
      if (statusIcon == nullptr) continue;
      statusImages_[status] = ImageList_AddIcon(images, statusIcon);
      DestroyIcon(statusIcon);
    }
    SendMessageA(list_, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));

    ackLine_ =
        AddControl("STATIC", "", SS_LEFT | SS_ENDELLIPSIS, 8, 364, kListWidth, 16, kIdAckLine);
    BuildCommands();
    Refresh();
    SelectContact(rows_.empty() ? 0 : rows_.front().contact);
    SetTimer(window_, kRefreshTimer, 250, nullptr);
  }

  // The plug-in's menus: a menu bar like the messenger's main menu, and a
  // button for each item beside the list.
  void BuildCommands() {
    commands_ = ReadCommands(host_);
    HMENU bar = CreateMenu();
    std::map<std::string, HMENU> popups;
    int top = 34;
    bool contactSection = false;
    AddControl("STATIC", "Main menu:", SS_LEFT, kPanelLeft, top, kPanelWidth, 16, -1);
    top += 18;
    std::vector<size_t> order;
    for (size_t i = 0; i < commands_.size(); ++i)
      if (!commands_[i].contactMenu) order.push_back(i);
    for (size_t i = 0; i < commands_.size(); ++i)
      if (commands_[i].contactMenu) order.push_back(i);
    int lastBlock = -1;
    for (size_t i : order) {
      Command& command = commands_[i];
      const int id = kIdFirstCommand + static_cast<int>(i);
      if (command.contactMenu && !contactSection) {
        contactSection = true;
        top += 10;
        AddControl("STATIC", "Contact menu:", SS_LEFT, kPanelLeft, top, kPanelWidth, 16, -1);
        top += 18;
      }
      if (!command.contactMenu) {
        HMENU& popup = popups[command.popup];
        if (popup == nullptr) {
          popup = CreatePopupMenu();
          AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), command.popup.c_str());
        }
        // The host separates items whose positions lie in different blocks.
        const int block = command.position / 100000;
        if (lastBlock != -1 && block != lastBlock) AppendMenuA(popup, MF_SEPARATOR, 0, nullptr);
        lastBlock = block;
        AppendMenuA(popup, MF_STRING, id, command.name.c_str());
      }
      buttons_[id] = AddControl("BUTTON", command.name.c_str(), BS_OWNERDRAW | WS_TABSTOP,
                                kPanelLeft, top, kPanelWidth, kButtonHeight, id);
      top += kButtonHeight + 4;
    }
    top += 10;
    AddControl("STATIC", "Protocol service:", SS_LEFT, kPanelLeft, top, kPanelWidth, 16, -1);
    top += 18;
    sendButton_ = AddControl("BUTTON", "Send a &message", BS_PUSHBUTTON | WS_TABSTOP, kPanelLeft,
                             top, kPanelWidth, kButtonHeight, kIdSendMessage);
    SetMenu(window_, bar);
  }

  void OnTimer(UINT_PTR timer) {
    if (timer == kRefreshTimer) {
      Refresh();
    } else if (timer == kScreenshotTimer) {
      // The editor runs its own loop inside our Edit call; once it stands,
      // take the picture and close it.
      HWND editor = FindWindowA(nullptr, "Edit Kestrin User");
      const bool timedOut = GetTickCount() - screenshotStart_ > 5000;
      if ((editor == nullptr || !IsWindowVisible(editor)) && !timedOut) return;
      KillTimer(window_, kScreenshotTimer);
      CaptureNow();
      if (editor != nullptr) PostMessageA(editor, WM_CLOSE, 0, 0);
    }
  }

  void OnCommand(int id, int code) {
    if (id == kIdOnline && code == BN_CLICKED) {
      const bool online = SendMessageA(online_, BM_GETCHECK, 0, 0) == BST_CHECKED;
      CallPlugin("mKestrinUser/SetStatus", online ? ID_STATUS_ONLINE : ID_STATUS_OFFLINE, 0);
    } else if (id == kIdSendMessage) {
      SendMessageToSelection();
    } else if (id >= kIdFirstCommand && id < kIdFirstCommand + static_cast<int>(commands_.size())) {
      const Command& command = commands_[id - kIdFirstCommand];
      CallPlugin(command.service.c_str(), command.contactMenu ? Selection() : 0, 0);
    }
  }

  LRESULT OnNotify(const NMHDR* header) {
    if (header->idFrom == kIdList && header->code == LVN_ITEMCHANGED) {
      const auto* change = reinterpret_cast<const NMLISTVIEW*>(header);
      if ((change->uChanged & LVIF_STATE) != 0 && !refreshing_) UpdateContactButtons();
    }
    return 0;
  }

  // Buttons that look like menu items: the plug-in's icon and the caption.
  void OnDrawItem(const DRAWITEMSTRUCT* item) {
    const int index = static_cast<int>(item->CtlID) - kIdFirstCommand;
    if (index < 0 || index >= static_cast<int>(commands_.size())) return;
    RECT area = item->rcItem;
    const bool pushed = (item->itemState & ODS_SELECTED) != 0;
    const bool disabled = (item->itemState & ODS_DISABLED) != 0;
    DrawFrameControl(item->hDC, &area, DFC_BUTTON,
                     DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0) | (disabled ? DFCS_INACTIVE : 0));
    const int shift = pushed ? 1 : 0;
    const HICON icon = commands_[index].smallIcon.get();
    if (icon != nullptr)
      DrawStateA(item->hDC, nullptr, nullptr, reinterpret_cast<LPARAM>(icon), 0,
                 area.left + 6 + shift, area.top + (area.bottom - area.top - 16) / 2 + shift, 16,
                 16, DST_ICON | (disabled ? DSS_DISABLED : DSS_NORMAL));
    RECT text = area;
    text.left += 28 + shift;
    text.top += shift;
    SetBkMode(item->hDC, TRANSPARENT);
    SetTextColor(item->hDC, GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
    HGDIOBJ font = SelectObject(item->hDC, GetStockObject(DEFAULT_GUI_FONT));
    DrawTextA(item->hDC, commands_[index].name.c_str(), -1, &text,
              DT_SINGLELINE | DT_VCENTER | DT_LEFT);
    SelectObject(item->hDC, font);
    if ((item->itemState & ODS_FOCUS) != 0) {
      InflateRect(&area, -4, -4);
      DrawFocusRect(item->hDC, &area);
    }
  }

  // A call into the plug-in; the editor runs its message loop inside it.
  void CallPlugin(const char* service, WParam wParam, LParam lParam) {
    ++busy_;
    host_.CallService(service, wParam, lParam);
    --busy_;
    Refresh();
  }

  void SendMessageToSelection() {
    const ContactHandle contact = Selection();
    if (contact == 0) return;
    static const char kText[] = "Hello from the demo";
    CCSDATA request{contact, "/SendMsg", 0, reinterpret_cast<LParam>(kText)};
    CallPlugin("mKestrinUser/SendMsg", 0, reinterpret_cast<LParam>(&request));
  }

  ContactHandle Selection() const {
    const auto index = static_cast<int>(
        SendMessageA(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (index < 0 || index >= static_cast<int>(rows_.size())) return 0;
    return rows_[static_cast<size_t>(index)].contact;
  }

  void SelectContact(ContactHandle contact) {
    for (size_t i = 0; i < rows_.size(); ++i) {
      if (rows_[i].contact != contact) continue;
      LVITEMA state{};
      state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
      state.state = LVIS_SELECTED | LVIS_FOCUSED;
      SendMessageA(list_, LVM_SETITEMSTATE, i, reinterpret_cast<LPARAM>(&state));
    }
    UpdateContactButtons();
  }

  // The contact-menu items the plug-in leaves visible for `contact`, after
  // the host's pre-build event, as the messenger builds the menu.
  std::vector<size_t> VisibleContactItems(ContactHandle contact) {
    std::vector<size_t> visible;
    if (contact == 0) return visible;
    host_.FireEvent("CList/PreBuildContactMenu", contact, 0);
    const auto modifications = host_.MenuModifications();
    for (size_t i = 0; i < commands_.size(); ++i) {
      if (!commands_[i].contactMenu) continue;
      uint32_t flags = 0;
      for (const auto& change : modifications)
        if (change.item == commands_[i].handle && (change.flags & CMIM_FLAGS) != 0)
          flags = change.flags;
      if ((flags & CMIF_HIDDEN) == 0) visible.push_back(i);
    }
    return visible;
  }

  void UpdateContactButtons() {
    const ContactHandle contact = Selection();
    const std::vector<size_t> visible = VisibleContactItems(contact);
    for (size_t i = 0; i < commands_.size(); ++i) {
      if (!commands_[i].contactMenu) continue;
      const bool shown = std::find(visible.begin(), visible.end(), i) != visible.end();
      EnableWindow(buttons_[kIdFirstCommand + static_cast<int>(i)], shown);
    }
    bool own = false;
    for (const ContactRow& row : rows_)
      if (row.contact == contact) own = row.own;
    EnableWindow(sendButton_, own);
  }

  void ShowContactMenu(LPARAM where) {
    const ContactHandle contact = Selection();
    const std::vector<size_t> visible = VisibleContactItems(contact);
    if (visible.empty()) return;
    POINT at{static_cast<short>(LOWORD(where)), static_cast<short>(HIWORD(where))};
    if (where == -1) {  // from the keyboard
      at = {kListWidth / 2, 60};
      ClientToScreen(window_, &at);
    }
    HMENU menu = CreatePopupMenu();
    for (size_t i : visible)
      AppendMenuA(menu, MF_STRING, kIdFirstCommand + static_cast<int>(i),
                  commands_[i].name.c_str());
    const int chosen =
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, window_, nullptr);
    DestroyMenu(menu);
    if (chosen != 0) OnCommand(chosen, BN_CLICKED);
  }

  // Shows the database as it is now; touches the list only when it changed.
  void Refresh() {
    const bool online = host_.CallService("mKestrinUser/GetStatus", 0, 0) == ID_STATUS_ONLINE;
    SendMessageA(online_, BM_SETCHECK, online ? BST_CHECKED : BST_UNCHECKED, 0);
    const std::string header = protocolName_ + " protocol: " + (online ? "Online" : "Offline");
    if (header != headerText_) {
      headerText_ = header;
      SetWindowTextA(header_, header.c_str());
    }
    UpdateAckLine();

    std::vector<ContactRow> rows = ReadContacts(host_);
    if (rows == rows_) return;
    const ContactHandle selected = Selection();
    refreshing_ = true;
    SendMessageA(list_, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list_, LVM_DELETEALLITEMS, 0, 0);
    rows_ = std::move(rows);
    for (size_t i = 0; i < rows_.size(); ++i) {
      const ContactRow& row = rows_[i];
      std::u16string name = Utf8ToUtf16(row.name);
      LVITEMW item{};
      item.mask = LVIF_TEXT | LVIF_IMAGE;
      item.iItem = static_cast<int>(i);
      item.pszText = reinterpret_cast<wchar_t*>(name.data());
      const auto image = statusImages_.find(row.status);
      item.iImage = row.own && image != statusImages_.end() ? image->second : -1;
      SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
      std::u16string cells[] = {Utf8ToUtf16(row.nick), Utf8ToUtf16(row.type),
                                Utf8ToUtf16(StatusName(row.status))};
      for (int column = 1; column <= 3; ++column) {
        LVITEMW cell{};
        cell.iSubItem = column;
        cell.pszText = reinterpret_cast<wchar_t*>(cells[column - 1].data());
        SendMessageW(list_, LVM_SETITEMTEXTW, i, reinterpret_cast<LPARAM>(&cell));
      }
    }
    SendMessageA(list_, WM_SETREDRAW, TRUE, 0);
    refreshing_ = false;
    SelectContact(selected != 0 ? selected : (rows_.empty() ? 0 : rows_.front().contact));
  }

  void UpdateAckLine() {
    const std::vector<testhost::Ack> acks = host_.Acks();
    if (acks.size() == ackCount_) return;
    ackCount_ = acks.size();
    const testhost::Ack& last = acks.back();
    std::string text = "Last acknowledgement: ";
    if (last.type == ACKTYPE_STATUS) {
      text += std::string("status ") + StatusName(static_cast<uint32_t>(last.process)) + " -> " +
              StatusName(static_cast<uint32_t>(last.lParam));
    } else if (last.type == ACKTYPE_MESSAGE) {
      std::string name = "?";
      for (const ContactRow& row : rows_)
        if (row.contact == last.contact) name = row.name;
      text += "message " + std::to_string(last.process) + " to " + name + " sent";
    }
    SetWindowTextA(ackLine_, text.c_str());
  }

  // Opens the editor on the selected contact beside this window; the timer,
  // dispatched by the editor's own loop, takes the picture and closes it.
  void TakeScreenshot() {
    CallPlugin("mKestrinUser/SetStatus", ID_STATUS_ONLINE, 0);
    UpdateWindow(window_);
    host_.SetWord(0, kModuleName, "UserAdd/Left", static_cast<uint16_t>(Right() + 16));
    host_.SetWord(0, kModuleName, "UserAdd/Top", 16);
    screenshotStart_ = GetTickCount();
    SetTimer(window_, kScreenshotTimer, 100, nullptr);
    const std::vector<size_t> visible = VisibleContactItems(Selection());
    if (!visible.empty()) OnCommand(kIdFirstCommand + static_cast<int>(visible.front()), 0);
    // No editor came up (or it closed): the picture of this window alone.
    if (!screenshotSaved_) {
      KillTimer(window_, kScreenshotTimer);
      CaptureNow();
    }
    DestroyWindow(window_);
  }

  void CaptureNow() {
    RedrawWindow(nullptr, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    for (HWND window = GetTopWindow(nullptr); window != nullptr;
         window = GetWindow(window, GW_HWNDNEXT)) {
      DWORD process = 0;
      GetWindowThreadProcessId(window, &process);
      if (process == GetCurrentProcessId())
        RedrawWindow(window, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
    }
    GdiFlush();
    screenshotSaved_ = SaveScreenshot(screenshot_);
  }

  testhost::TestHost& host_;
  HMODULE plugin_;  // not owned
  std::string screenshot_;
  HWND window_ = nullptr;
  HWND header_ = nullptr;
  HWND online_ = nullptr;
  HWND list_ = nullptr;
  HWND ackLine_ = nullptr;
  HWND sendButton_ = nullptr;
  OwnedIcon protocolIcon_;
  std::string protocolName_;
  std::string headerText_;
  std::vector<Command> commands_;
  std::map<int, HWND> buttons_;
  std::map<uint32_t, int> statusImages_;
  std::vector<ContactRow> rows_;
  size_t ackCount_ = 0;
  int busy_ = 0;
  bool refreshing_ = false;
  bool screenshotSaved_ = false;
  DWORD screenshotStart_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  std::string screenshot;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc) {
      screenshot = argv[++i];
    } else {
      std::fprintf(stderr, "usage: kestrin_demo [--screenshot picture.bmp]\n");
      return 2;
    }
  }

  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);

  testhost::TestHost& host = testhost::TestHost::Instance();
  host.Reset();
  AddSampleContacts(host);
  int result = 0;
  {
    testhost::PluginLibrary plugin;
    std::string error;
    const bool started = plugin.Open(testhost::PluginPath(), error) && plugin.Start(host.Link());
    if (!started) {
      if (error.empty()) error = testhost::PluginPath() + " did not start";
      std::fprintf(stderr, "kestrin_demo: %s\n", error.c_str());
      if (screenshot.empty()) MessageBoxA(nullptr, error.c_str(), kTitle, MB_ICONERROR);
      return 1;
    }
    host.FireEvent("Miranda/System/ModulesLoaded", 0, 0);
    DemoWindow demo(host, plugin.Module(), screenshot);
    if (!demo.Create()) {
      std::fprintf(stderr, "kestrin_demo: cannot create the window\n");
      return 1;
    }
    ShowWindow(demo.Handle(), SW_SHOW);
    UpdateWindow(demo.Handle());
    if (!screenshot.empty()) demo.StartScreenshot();

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    if (!screenshot.empty() && !demo.ScreenshotSaved()) {
      std::fprintf(stderr, "kestrin_demo: cannot save %s\n", screenshot.c_str());
      result = 1;
    }
  }  // Unload and FreeLibrary, after every window is gone
  host.Reset();
  return result;
}
