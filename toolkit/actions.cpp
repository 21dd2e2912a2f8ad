#include "toolkit/actions.h"

#include <algorithm>

void TAction::SetEnabled(bool enabled) {
    if (enabled != enabled_) {
        enabled_ = enabled;
        Push();
    }
}

void TAction::Push() const {
    for (HWND button : buttons_) {
        EnableWindow(button, enabled_);
    }
    for (auto [menu, id] : menuItems_) {
        EnableMenuItem(menu, id, MF_BYCOMMAND | (enabled_ ? MF_ENABLED : MF_GRAYED));
    }
}

void TAction::Update() {
    if (OnUpdate) {
        OnUpdate();
    } else {
        SetEnabled(static_cast<bool>(OnExecute));
    }
}

bool TAction::Execute() {
    Update();
    if (!enabled_ || !OnExecute) {
        return false;
    }
    OnExecute();
    return true;
}

void TAction::BindButton(HWND button) {
    buttons_.push_back(button);
    SetWindowTextW(button, caption_.c_str());
    EnableWindow(button, enabled_);
}

void TAction::BindMenuItem(HMENU menu, UINT id) {
    menuItems_.emplace_back(menu, id);
    EnableMenuItem(menu, id, MF_BYCOMMAND | (enabled_ ? MF_ENABLED : MF_GRAYED));
}

void TAction::UnbindMenu(HMENU menu) {
    std::erase_if(menuItems_, [menu](const auto& item) { return item.first == menu; });
}

bool TAction::BoundTo(HMENU menu) const {
    return std::ranges::any_of(menuItems_, [menu](const auto& item) { return item.first == menu; });
}

bool TAction::BoundTo(HMENU menu, UINT id) const {
    return std::ranges::find(menuItems_, std::pair{menu, id}) != menuItems_.end();
}

bool TAction::BoundTo(HWND button) const { return std::ranges::find(buttons_, button) != buttons_.end(); }

void TActionList::UpdateAll() {
    for (TAction* action : actions_) {
        action->Update();
    }
}

void TActionList::UpdateMenu(HMENU menu) {
    for (TAction* action : actions_) {
        if (action->BoundTo(menu)) {
            action->Update();
        }
    }
}

TAction* TActionList::FindButton(HWND button) const {
    auto found = std::ranges::find_if(actions_, [button](TAction* action) { return action->BoundTo(button); });
    return found != actions_.end() ? *found : nullptr;
}

TAction* TActionList::FindMenuItem(HMENU menu, UINT id) const {
    auto found =
        std::ranges::find_if(actions_, [menu, id](TAction* action) { return action->BoundTo(menu, id); });
    return found != actions_.end() ? *found : nullptr;
}

bool IsIdleTrigger(UINT message) {
    switch (message) {
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE:
    case WM_PAINT:
    case WM_NCPAINT:
    case WM_TIMER:
    case 0x0118: // the system timer behind the caret's blinking
        return false;
    default:
        return true;
    }
}
