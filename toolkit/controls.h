#pragma once
// Thin wrappers over the standard controls. A form creates their windows from its layout table;
// the wrapper knows its window class and style and offers the few calls the program needs.
#include "toolkit/layout.h"
#include <windows.h>
#include <commctrl.h>
#include <functional>
#include <string>
#include <vector>

class TAction;
class TPopupMenu;

class TControl {
  public:
    TControl() = default;
    TControl(const TControl&) = delete;
    TControl& operator=(const TControl&) = delete;
    virtual ~TControl() = default;

    HWND Handle() const { return handle_; }
    bool Enabled() const;
    // Disabling a control that has the focus first hands the focus on in tab order.
    void SetEnabled(bool enabled);
    bool Visible() const;
    std::wstring Text() const;
    void SetText(const std::wstring& text);
    // Position and size in the parent's client area.
    TBounds Bounds() const;
    bool Focused() const;
    // As the dialog manager gives it: an edit box has its text selected.
    void SetFocus();

    std::function<void()> OnClick;
    // After the form has changed the control's size (and once when it is created).
    std::function<void()> OnResize;
    // WM_NOTIFY from the control that the control itself does not handle; true when handled, with
    // the result to return.
    std::function<bool(NMHDR& header, LRESULT& result)> OnNotify;
    // Shown on a right click or the menu key.
    TPopupMenu* PopupMenu = nullptr;
    // Asked first, with the point in screen coordinates: true when it showed a menu of its own.
    std::function<bool(POINT at)> OnContextMenu;
    // Where the menu key opens the popup menu, in screen coordinates; unset: the top-left corner.
    std::function<POINT()> MenuPoint;

    virtual const wchar_t* WindowClass() const = 0;
    virtual DWORD WindowStyle() const = 0;
    virtual DWORD WindowExStyle() const { return 0; }
    // Enter goes to the control instead of the default button.
    virtual bool WantsReturn() const { return false; }

  protected:
    friend class TForm;
    virtual void Created() {}
    // The notifications the control raised, handed back to it by its form: WM_COMMAND ...
    virtual void Command(WORD code);
    // ... WM_NOTIFY (true when handled) ...
    virtual bool Notify(NMHDR& header, LRESULT& result);
    // ... and the colours of a static control (nullptr: the system's).
    virtual HBRUSH ControlColor(HDC) { return nullptr; }

    HWND handle_ = nullptr;
};

// Its access letter is drawn but, unless For is set, not acted on: the dialog manager passes such
// labels by, so Alt and the letter reach the button that has it.
class TLabel : public TControl {
  public:
    // The control the access letter gives the focus to; the form creates the label just before it.
    TControl* For = nullptr;
    bool RightAligned = false;
    // Paints no background of its own: the form's colour shows through.
    bool Transparent = false;

    bool Underlined() const { return underlined_; }
    void SetUnderlined(bool underlined);
    // Pointer coordinates relative to the label's top left corner.
    std::function<void(int x, int y)> OnMouseMove;

    const wchar_t* WindowClass() const override { return L"STATIC"; }
    DWORD WindowStyle() const override;
    ~TLabel() override;

  protected:
    void Created() override;
    void Command(WORD) override {}
    HBRUSH ControlColor(HDC dc) override;

  private:
    static LRESULT CALLBACK SubclassProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    bool underlined_ = false;
    HFONT underlinedFont_ = nullptr;
};

class TEdit : public TControl {
  public:
    bool ReadOnly = false;
    bool MultiLine = false;
    // Multi-line only: without it the text still scrolls with the caret and the wheel.
    bool VerticalScrollBar = true;
    // Typing takes digits only (pasted text still has to be checked).
    bool DigitsOnly = false;
    // When the text has changed, by whatever means.
    std::function<void()> OnChange;
    // When the box loses the focus.
    std::function<void()> OnExit;
    // Shown in grey while the box is empty and has no focus: an example of what it takes.
    std::wstring CueText;
    // Adds text at the end without rewriting what is there.
    void Append(const std::wstring& text);
    const wchar_t* WindowClass() const override { return L"EDIT"; }
    DWORD WindowStyle() const override;
    DWORD WindowExStyle() const override { return WS_EX_CLIENTEDGE; }
    bool WantsReturn() const override { return MultiLine && !ReadOnly; }

  protected:
    void Created() override;
    void Command(WORD code) override;
};

class TButton : public TControl {
  public:
    // Caption and enabled state follow the action; a click executes it.
    TAction* Action = nullptr;
    // Ends a modal showing of the form with this result when clicked.
    int ModalResult = 0;
    const wchar_t* WindowClass() const override { return L"BUTTON"; }
    DWORD WindowStyle() const override { return WS_TABSTOP | BS_PUSHBUTTON; }

  protected:
    void Created() override;
    void Command(WORD code) override;
};

// A button that opens a menu of its own (OnClick), with a down arrow drawn on it (fonts need not
// have one): clicked, or with Space or Alt+Down as a drop-down list opens.
class TDropDownButton : public TButton {
  protected:
    void Created() override;
    bool Notify(NMHDR& header, LRESULT& result) override;

  private:
    static LRESULT CALLBACK SubclassProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
};

// Check boxes and radio buttons: the button control checks them itself when clicked.
class TCheckButton : public TControl {
  public:
    bool Checked() const;
    void SetChecked(bool checked);
    const wchar_t* WindowClass() const override { return L"BUTTON"; }
};

class TCheckBox : public TCheckButton {
  public:
    DWORD WindowStyle() const override { return BS_AUTOCHECKBOX | WS_TABSTOP; }
};

// Radio buttons of one set exclude each other and are one group of the dialog manager: Tab enters
// the set at its checked button (the button control keeps the tab stop on the checked one) and
// the arrow keys move within it, checking the button they reach.
class TRadioButton : public TCheckButton {
  public:
    // Starts a set; it runs to the next start, in tab order.
    bool GroupStart = false;
    // A caption longer than the button is wide goes on over a second line.
    bool Multiline = false;
    DWORD WindowStyle() const override {
        return BS_AUTORADIOBUTTON | (GroupStart ? WS_TABSTOP : 0) | (Multiline ? BS_MULTILINE | BS_TOP : 0);
    }
};

// A spin control bound to an edit box that shows its position.
class TUpDown : public TControl {
  public:
    TEdit* Associate = nullptr;
    int Min = 0;
    int Max = 100;
    int InitialPosition = 0;
    // Read back from the edit box's text; when that is not a number in range, the last valid one.
    int Position() const;
    void SetPosition(int position);
    const wchar_t* WindowClass() const override;
    DWORD WindowStyle() const override;

  protected:
    void Created() override;
};

class TDateTimePicker : public TControl {
  public:
    enum class TKind { Date, Time };
    TKind Kind = TKind::Date;
    SYSTEMTIME DateTime() const;
    void SetDateTime(const SYSTEMTIME& value);
    const wchar_t* WindowClass() const override;
    DWORD WindowStyle() const override;
};

// A drop-down list to choose one of its items from.
class TComboBox : public TControl {
  public:
    std::vector<std::wstring> Items;
    int SelectedIndex() const;
    // An index outside the items selects the first one.
    void SetSelectedIndex(int index);
    const wchar_t* WindowClass() const override { return WC_COMBOBOXW; }
    DWORD WindowStyle() const override { return WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST; }

  protected:
    void Created() override;
    void Command(WORD) override {}
};

class TListView : public TControl {
  public:
    struct TColumn {
        std::wstring Caption;
        int Width;
        bool RightAligned = false; // figures, whose digits line up
    };
    // The columns the control is created with.
    std::vector<TColumn> Columns;
    // Rows come from the owner on demand (LVN_GETDISPINFO through OnNotify).
    bool OwnerData = false;
    bool MultiSelect = true;
    bool GridLines = false;
    bool RowSelect = false;
    // A tip over each row, its text given when the pointer comes to the row; empty for none. The list
    // view's own info tips never come under Wine, and subclassing the list slows every message to it,
    // so the form hands the list's mouse messages to RelayToTip from its message loop.
    std::function<std::wstring(int row)> RowTip;
    void RelayToTip(const MSG& message);
    // A click on a column's header button.
    std::function<void(int column)> OnColumnClick;
    // A double click on a row.
    std::function<void()> OnDoubleClick;
    // A key pressed while the list has the focus; with it set, Enter comes here too.
    std::function<void(WORD key)> OnKeyDown;
    void SetColumnWidth(int column, int width);
    int ColumnWidth(int column) const;
    const wchar_t* WindowClass() const override;
    DWORD WindowStyle() const override;
    DWORD WindowExStyle() const override { return WS_EX_CLIENTEDGE; }
    bool WantsReturn() const override { return static_cast<bool>(OnKeyDown); }

  protected:
    void Created() override;
    bool Notify(NMHDR& header, LRESULT& result) override;

  private:
    HWND tip_ = nullptr;
    int tipRow_ = -1;
    std::wstring tipText_;
};

class TStatusBar : public TControl {
  public:
    // Parts from left to right, each given by its right edge in client pixels; -1 runs to the end.
    // Without parts the bar has one; its text is the control's text.
    void SetParts(const std::vector<int>& rightEdges);
    void SetPartText(int part, const std::wstring& text);
    std::wstring PartText(int part) const;
    const wchar_t* WindowClass() const override;
    DWORD WindowStyle() const override { return SBARS_SIZEGRIP; }
};

// Menus: entries run their action or their click handler; an entry with a submenu is clicked
// each time its submenu opens.
class TMenuItem {
  public:
    explicit TMenuItem(std::wstring caption = {}) : Caption(std::move(caption)) {}
    TMenuItem(const TMenuItem&) = delete;
    TMenuItem& operator=(const TMenuItem&) = delete;
    std::wstring Caption; // "-" is a separator line
    TAction* Action = nullptr;
    std::function<void()> OnClick;
    void Add(TMenuItem& item) { items_.push_back(&item); }
    const std::vector<TMenuItem*>& Items() const { return items_; }
    HMENU SubMenu() const { return subMenu_; }
    UINT Id() const { return id_; }

  private:
    friend class TPopupMenu;
    std::vector<TMenuItem*> items_;
    HMENU subMenu_ = nullptr;
    UINT id_ = 0;
};

class TPopupMenu {
  public:
    TPopupMenu() = default;
    TPopupMenu(const TPopupMenu&) = delete;
    TPopupMenu& operator=(const TPopupMenu&) = delete;
    ~TPopupMenu();
    void Add(TMenuItem& item) { root_.Add(item); }
    // Builds the menu (and binds the actions) on first use.
    HMENU Handle();
    // Shows the menu at a screen point; commands go to the owner window.
    void Popup(HWND owner, int x, int y);
    TMenuItem* FindItem(UINT id);
    TMenuItem* FindSubMenuOwner(HMENU menu);

  private:
    HMENU Build(TMenuItem& parent);
    TMenuItem root_;
    UINT nextId_ = 0x1000;
};
