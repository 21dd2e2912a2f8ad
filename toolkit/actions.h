#pragma once
// Actions: a command's caption, enabled state, and its execute and update handlers, followed by
// the buttons and menu entries bound to it.
#include <functional>
#include <string>
#include <utility>
#include <vector>
#include <windows.h>

class TAction {
public:
    explicit TAction(std::wstring caption) : caption_(std::move(caption)) {}
    TAction(const TAction&) = delete;
    TAction& operator=(const TAction&) = delete;

    const std::wstring& Caption() const { return caption_; }
    bool Enabled() const { return enabled_; }
    // Pushes the state to the bound buttons and menu entries only when it changes.
    void SetEnabled(bool enabled);

    std::function<void()> OnExecute;
    std::function<void()> OnUpdate;

    // Runs the update handler; an action without one is enabled exactly when it can execute.
    void Update();
    // Updates once more, then executes if still enabled. False when it did not run.
    bool Execute();

    void BindButton(HWND button);
    void BindMenuItem(HMENU menu, UINT id);
    void UnbindMenu(HMENU menu);
    bool BoundTo(HMENU menu) const;
    bool BoundTo(HMENU menu, UINT id) const;
    bool BoundTo(HWND button) const;

private:
    void Push() const;

    std::wstring caption_;
    bool enabled_ = true;
    std::vector<HWND> buttons_;
    std::vector<std::pair<HMENU, UINT>> menuItems_;
};

// The actions of one form, in their order.
class TActionList {
public:
    void Add(TAction& action) { actions_.push_back(&action); }
    const std::vector<TAction*>& Actions() const { return actions_; }
    void UpdateAll();
    // Updates the actions that entries of this menu show, before the menu opens.
    void UpdateMenu(HMENU menu);
    TAction* FindButton(HWND button) const;
    TAction* FindMenuItem(HMENU menu, UINT id) const;

private:
    std::vector<TAction*> actions_;
};

// True for the messages after which the update handlers should run once the queue is empty:
// mouse movement, painting and timers alone change nothing a handler looks at.
bool IsIdleTrigger(UINT message);
