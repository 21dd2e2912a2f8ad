#include "toolkit/actions.h"

#include "toolkit/focus.h"
#include "toolkit/scope_exit.h"
#include <algorithm>

void TAction::SetEnabled(bool enabled) {
    if (enabled != enabled_) {
        enabled_ = enabled;
        if (!held_) {
            Push();
        }
    }
}

void TAction::Push() const {
    for (HWND button : buttons_) {
        EnableKeepingFocus(button, enabled_);
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

bool TAction::BoundTo(HMENU menu) const {
    return std::ranges::any_of(menuItems_, [menu](const auto& item) { return item.first == menu; });
}

void TActionList::UpdateAll() {
    std::vector<std::pair<TAction*, bool>> before;
    // What changed is pushed however the updates end, a failing handler included.
    const TScopeExit pushChanges([&before] {
        for (bool enabling : {true, false}) {
            for (auto [action, was] : before) {
                action->held_ = false;
                if (action->Enabled() != was && action->Enabled() == enabling) {
                    action->Push();
                }
            }
        }
    });
    for (TAction* action : actions_) {
        before.emplace_back(action, action->Enabled());
        action->held_ = true;
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
