#pragma once
// Actions: a command's caption, enabled state, and its execute and update handlers, followed by
// the buttons and menu entries bound to it.
#include <windows.h>
#include <functional>
#include <string>
#include <utility>
#include <vector>

class TAction {
  public:
    explicit TAction(std::wstring caption) : caption_(std::move(caption)) {}
    TAction(const TAction&) = delete;
    TAction& operator=(const TAction&) = delete;

    const std::wstring& Caption() const { return caption_; }
    bool Enabled() const { return enabled_; }
    // Pushes the state to the bound buttons and menu entries only when it changes. A bound button
    // that has the focus hands it on before it is disabled.
    void SetEnabled(bool enabled);

    std::function<void()> OnExecute;
    std::function<void()> OnUpdate;

    // Runs the update handler; an action without one is enabled exactly when it can execute.
    void Update();
    // Updates once more, then executes if still enabled. False when it did not run.
    bool Execute();

    void BindButton(HWND button);
    void BindMenuItem(HMENU menu, UINT id);
    bool BoundTo(HMENU menu) const;

  private:
    friend class TActionList;
    void Push() const;

    std::wstring caption_;
    bool enabled_ = true;
    // While the list updates all its actions, pushes wait so that enabling comes before disabling.
    bool held_ = false;
    std::vector<HWND> buttons_;
    std::vector<std::pair<HMENU, UINT>> menuItems_;
};

// The actions of one form, in their order.
class TActionList {
  public:
    void Add(TAction& action) { actions_.push_back(&action); }
    const std::vector<TAction*>& Actions() const { return actions_; }
    // Updates every action. Buttons are enabled before others are disabled, so that a focused
    // button that goes grey can hand the focus to one that has just become usable.
    void UpdateAll();
    // Updates the actions that entries of this menu show, before the menu opens.
    void UpdateMenu(HMENU menu);

  private:
    std::vector<TAction*> actions_;
};
