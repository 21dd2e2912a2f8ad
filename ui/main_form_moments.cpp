// The moments' menu beside the date and time pickers: today, yesterday, the last seven days, the last
// hour, and the start of the last completed scan of the folder in the path box.
#include "ui/main_form.h"

#include "scan/last_scans.h"
#include "scan/local_time.h"
#include "scan/moments.h"
#include "scan/scan_request.h"
#include "toolkit/scope_exit.h"
#include "toolkit/text.h"

namespace {

struct TMomentEntry {
    const wchar_t* Caption;
    TMoment Moment;
};
const TMomentEntry MomentEntries[] = {{L"&Today", TMoment::Today},
                                      {L"&Yesterday", TMoment::Yesterday},
                                      {L"Last &7 days", TMoment::LastWeek},
                                      {L"Last &hour", TMoment::LastHour}};
// The entries' ids are their places from 1; the last scan's comes after them.
constexpr UINT LastScanId = std::size(MomentEntries) + 1;

} // namespace

void TMainForm::MomentButtonClick() {
    TLocalTimeConverter zone;
    std::optional<std::int64_t> last;
    if (!TrimControls(PathEdit.Text()).empty()) {
        last = LastScanStart(RootPathFromText(PathEdit.Text()));
    }
    HMENU menu = CreatePopupMenu();
    const TScopeExit destroy([menu] { DestroyMenu(menu); });
    for (UINT id = 1; id <= std::size(MomentEntries); ++id) {
        AppendMenuW(menu, MF_STRING, id, MomentEntries[id - 1].Caption);
    }
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    std::wstring lastCaption = L"Since the &last scan of this folder";
    SYSTEMTIME local;
    TDateTime shown = 0;
    if (last && zone.ToLocal(FileTimeOfTicks(*last), local) && TryEncodeDateTime(local, shown)) {
        lastCaption += L" (" + DateTimeText(shown, formats_) + L")";
    } else {
        last.reset();
    }
    AppendMenuW(menu, MF_STRING | (last ? 0 : MF_GRAYED), LastScanId, lastCaption.c_str());

    RECT button;
    GetWindowRect(MomentButton.Handle(), &button);
    const UINT chosen = TrackMenu(menu, POINT{button.left, button.bottom});
    std::int64_t instant = 0;
    if (chosen == LastScanId && last) {
        ChooseMoment(*last);
    } else if (chosen >= 1 && chosen <= std::size(MomentEntries) &&
               MomentInstant(MomentEntries[chosen - 1].Moment, NowUtc(), zone, instant)) {
        ChooseMoment(instant);
    }
}

void TMainForm::ChooseMoment(std::int64_t instant) {
    SYSTEMTIME local;
    if (!TLocalTimeConverter().ToLocal(FileTimeOfTicks(instant), local)) {
        return;
    }
    LatestDate.SetDateTime(local);
    LatestTime.SetDateTime(local);
    NumberRadioButton.SetChecked(false);
    LatestRadioButton.SetChecked(true);
    RadioButtonClick();
    chosenMoment_ = TChosenMoment{PickedMoment(), instant};
}
