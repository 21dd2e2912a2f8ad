#pragma once
// Forms: top-level windows built from a layout table designed at 96 pixels per inch. A form is a
// window of a dialog class, so the platform's dialog manager gives it its keyboard interface: Tab
// order, arrow keys within a group, access keys, the default and the cancel button, and the focus
// kept while the form is inactive.
#include "toolkit/actions.h"
#include "toolkit/application.h"
#include "toolkit/controls.h"
#include "toolkit/layout.h"
#include <windows.h>
#include <functional>
#include <span>
#include <string>
#include <vector>

constexpr int NoTabStop = -1;

// One row of a layout table: the control, its design rectangle, anchors, tab order and caption.
struct TControlRow {
    TControl* Control;
    TBounds Bounds;
    unsigned Anchors = akLeft | akTop;
    int TabOrder = NoTabStop;
    const wchar_t* Text = L"";
    bool Enabled = true;
    // Sticks to the bottom edge at its own height (status bars).
    bool DockBottom = false;
    // Shares the width the form gains with its neighbours.
    TWidthShare Share = {};
};

struct TFormProperties {
    std::wstring Caption;
    int ClientWidth = 0; // at 96 pixels per inch
    int ClientHeight = 0;
    bool Sizeable = true;
    bool ToolWindow = false;
    const wchar_t* Icon = nullptr; // resource name
    const wchar_t* FontName = L"MS Shell Dlg 2";
    int FontHeight = 11;              // pixels at 96 pixels per inch
    TButton* DefaultButton = nullptr; // Enter
    TButton* CancelButton = nullptr;  // Esc
};

class TForm : private IMessageLoopFilter, private IIdleHandler {
  public:
    TForm() = default;
    TForm(const TForm&) = delete;
    TForm& operator=(const TForm&) = delete;
    virtual ~TForm();

    HWND Handle() const { return handle_; }
    int PixelsPerInch() const { return pixelsPerInch_; }

    // Minimum outer size in pixels; 0: none.
    int MinWidth = 0;
    int MinHeight = 0;
    // Gets the focus when the form is activated and no control of it has the focus to get back.
    TControl* ActiveControl = nullptr;
    // Asked before every close; false keeps the form open.
    std::function<bool()> OnCloseQuery;
    // A key pressed anywhere in the form, before the control with the focus sees it; true takes it.
    std::function<bool(WORD key)> OnKeyDown;
    // Set while shown modally; non-zero ends the modal showing.
    int ModalResult = 0;

    void Show();
    void Hide();
    bool Visible() const { return IsWindowVisible(handle_); }
    // Disables the other windows, shows the form and runs messages until ModalResult is set;
    // returns it.
    int ShowModal();
    // The same request as the system close box: passes the close query, then hides the form
    // (a modal one ends with result 2); closing the main form, the first one made, ends the
    // message loop.
    void Close();
    void AddActionList(TActionList& list) { actionLists_.push_back(&list); }
    void UpdateActions();
    // The outer bounds on the screen as they are now.
    TBounds BoundsRect() const;
    // The outer bounds on the screen of the normal window, also while it is minimised or maximised.
    TBounds NormalBounds() const;
    void SetBounds(const TBounds& bounds);

  protected:
    // Builds the window and its controls, then applies the table at the screen's pixels per inch.
    void Create(const TFormProperties& properties, std::span<const TControlRow> layout);
    // Destroys the window; controls notify nothing afterwards.
    void DestroyHandle();
    // Messages the derived form handles itself; true when handled.
    virtual bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

  private:
    struct TPlaced {
        TControl* Control;
        TBounds Design; // scaled to the screen
        unsigned Anchors;
        bool DockBottom;
        TWidthShare Share;
    };
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);
    bool PreTranslateMessage(MSG& message) override;
    void OnIdle() override { UpdateActions(); }
    void CreateControls(std::span<const TControlRow> layout, const TFormProperties& properties);
    TControl* FindControl(HWND window) const;
    void Realign();
    void RestoreFocus();
    LRESULT Command(WPARAM wParam, LPARAM lParam);
    void MenuCommand(UINT id);
    void MenuOpening(HMENU menu);
    bool ContextMenu(HWND window, LPARAM at);

    HWND handle_ = nullptr;
    HFONT font_ = nullptr;
    int pixelsPerInch_ = DesignPixelsPerInch;
    int designClientWidth_ = 0;
    int designClientHeight_ = 0;
    std::vector<TPlaced> placed_;
    std::vector<TActionList*> actionLists_;
    // The control that had the focus when the form was last deactivated.
    HWND lastFocus_ = nullptr;
    bool modal_ = false;
};

// True when some monitor shows part of the caption of a window with these outer bounds.
bool CaptionOnScreen(const TBounds& window);
