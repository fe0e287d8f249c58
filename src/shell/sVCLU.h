// A very small object layer over native child windows, just enough for the
// editor window: labels, separator lines, single-line edits, push buttons and
// a drop-down list. Each object keeps its geometry, text and font in fields,
// creates its window on the first Show, and gives its tab-stop controls dialog
// keys (Tab, Shift+Tab, Escape) although the parent is an ordinary window.
//
// Texts are UTF-8; the windows are wide-character windows, so that any
// character can be typed, pasted and shown.
//
// Ownership: an object owns its font; its window belongs to the parent window
// and dies with it. Every operation runs on the thread of the parent window.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

// The vertical pixels per logical inch of the screen, read on first use.
int ScreenPixelsPerInch();

// Owns one font object; deletes it when reset or destroyed.
class OwnedFont {
 public:
  OwnedFont() = default;
  ~OwnedFont() { reset(); }
  OwnedFont(const OwnedFont&) = delete;
  OwnedFont& operator=(const OwnedFont&) = delete;

  HFONT get() const { return font_; }
  void reset(HFONT font = nullptr);

 private:
  HFONT font_ = nullptr;
};

class TsVCLWinControl {
 public:
  explicit TsVCLWinControl(HWND parent);  // Create
  virtual ~TsVCLWinControl();             // Destroy
  TsVCLWinControl(const TsVCLWinControl&) = delete;
  TsVCLWinControl& operator=(const TsVCLWinControl&) = delete;

  virtual std::string GetText();
  virtual void SetText(const std::string& text);
  // Creates the native window; called by Show when there is none yet.
  virtual void CreateWnd() = 0;

  // FontHeight for `points` at the screen's resolution; a font made before is
  // replaced by one of the new size.
  void SetFontSize(int points);
  void Show();
  void SetEnabled(bool enabled);
  // A new font object of FontHeight and FontName; the caller owns it.
  HFONT MakeFont() const;

  OwnedFont FontHandle;
  HWND Handle = nullptr;        // owned by the parent window
  HWND ParentHandle = nullptr;  // not owned
  WNDPROC OldWindowProc = nullptr;
  std::string Caption;
  int Top = 0;
  int Left = 0;
  int Width = 100;
  int Height = 30;
  int FontHeight = 0;
  std::string FontName = "MS Sans Serif";
  bool Enabled = true;

 protected:
  // The common body of every CreateWnd.
  void CreateWindowHandle(const wchar_t* className, DWORD exStyle, DWORD style);
  // Whether the control shows a list of its own that Escape closes.
  virtual bool ListIsDroppedDown() const { return false; }

 private:
  static LRESULT CALLBACK ControlWindowProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
  LRESULT OnKeyDown(WPARAM key, LPARAM lParam);
  LRESULT OnChar(WPARAM character, LPARAM lParam);
  LRESULT OnSetFocus(WPARAM lostFocus, LPARAM lParam);
  LRESULT PassOn(UINT message, WPARAM wParam, LPARAM lParam);
  // Hands the window back to its own procedure, so that no later message can
  // reach this object.
  void DetachFromWindow();

  bool escapeClosedList_ = false;  // the Escape key went down on an open list
};

// A control of class `Control` for the parent window, not yet shown.
template <typename Control>
std::unique_ptr<Control> Create(HWND parent) {
  return std::make_unique<Control>(parent);
}

class TsVCLLabel : public TsVCLWinControl {
 public:
  explicit TsVCLLabel(HWND parent);
  void CreateWnd() override;
};

class TsVCLLine : public TsVCLWinControl {
 public:
  explicit TsVCLLine(HWND parent);
  void CreateWnd() override;

  // SS_BLACKRECT, SS_GRAYRECT or SS_WHITERECT; any other kind draws no line.
  DWORD Kind = SS_BLACKRECT;
};

class TsVCLEdit : public TsVCLWinControl {
 public:
  explicit TsVCLEdit(HWND parent);
  // The live text of the window, however long, once the window exists.
  std::string GetText() override;
  void CreateWnd() override;

  bool Password = false;
};

class TsVCLButton : public TsVCLWinControl {
 public:
  explicit TsVCLButton(HWND parent);
  void CreateWnd() override;
};

class TsVCLComboBox : public TsVCLWinControl {
 public:
  explicit TsVCLComboBox(HWND parent);
  void CreateWnd() override;

  // The list operations need the window: call them after Show.
  int AddItem(const std::string& text);
  int GetItemIndex() const;  // -1 when nothing is selected
  void SetItemIndex(int index);

 protected:
  bool ListIsDroppedDown() const override;
};
