#include "ui/search_rules.h"

#include "scan/listing.h"
#include "scan/pattern.h"
#include "toolkit/text.h"
#include <windows.h>
#include <algorithm>
#include <cmath>
#include <cwchar>
#include <shellapi.h>
#include <shlwapi.h>

int NumberFromText(const std::wstring& text, int lastValid, int max, const std::wstring& thousandSeparator) {
    const std::wstring trimmed(TrimControls(text));
    std::wstring digits;
    for (std::size_t i = 0; i < trimmed.size();) {
        if (trimmed[i] >= L'0' && trimmed[i] <= L'9') {
            digits += trimmed[i++];
        } else if (!digits.empty() && !thousandSeparator.empty() &&
                   trimmed.compare(i, thousandSeparator.size(), thousandSeparator) == 0) {
            i += thousandSeparator.size();
        } else {
            return lastValid;
        }
    }
    digits.erase(0, std::min(digits.find_first_not_of(L'0'), digits.size() - 1));
    if (digits.empty())
        return lastValid;
    if (digits.size() > 9)
        return max;
    return std::min(std::stoi(digits), max);
}

int ShellErrorCode(long long result) {
    switch (result) {
    case 0:
        return ERROR_NOT_ENOUGH_MEMORY;
    case SE_ERR_SHARE:
        return ERROR_SHARING_VIOLATION;
    case SE_ERR_ASSOCINCOMPLETE:
    case SE_ERR_NOASSOC:
        return ERROR_NO_ASSOCIATION;
    case SE_ERR_DDETIMEOUT:
    case SE_ERR_DDEFAIL:
    case SE_ERR_DDEBUSY:
        return ERROR_DDE_FAIL;
    case SE_ERR_DLLNOTFOUND:
        return ERROR_DLL_NOT_FOUND;
    default:
        return static_cast<int>(result);
    }
}

bool StartEnabled(const std::wstring& pathText, TJobState job) {
    return !TrimControls(pathText).empty() && job != TJobState::Running;
}

bool PauseEnabled(TJobState job) {
    return job == TJobState::Running;
}

bool StopEnabled(TJobState job) {
    return job != TJobState::None;
}

// A value is its day number plus the time of day, so its day is the floor: before 30 December 1899
// the value is negative, and truncating would move it a day later.
TDateTime ThresholdFromPickers(TDateTime date, TDateTime time) {
    return std::floor(date) + (time - std::floor(time));
}

std::wstring RunningTimeText(TDateTime duration, const TFormatSettings& settings) {
    constexpr std::int64_t msPerDay = 86'400'000, msPerHour = 3'600'000, msPerMinute = 60'000;
    // Every field, the thresholds included, comes from the value rounded to the millisecond, so
    // 59.9996 seconds read as 1:00 and not as 0.000.
    // The running time comes from a clock that never goes back; a negative one would be a fault.
    const std::int64_t total = std::llround(std::max(duration, 0.0) * msPerDay);
    const std::int64_t days = total / msPerDay;
    const std::int64_t ofDay = total % msPerDay;
    const int hours = static_cast<int>(ofDay / msPerHour);
    const int minutes = static_cast<int>(ofDay % msPerHour / msPerMinute);
    const int seconds = static_cast<int>(ofDay % msPerMinute / 1000);
    const int millis = static_cast<int>(ofDay % 1000);
    const std::wstring& sep = settings.TimeSeparator;

    wchar_t buffer[64];
    if (total >= msPerHour)
        std::swprintf(buffer, 64, L"%d%ls%02d%ls%02d", hours, sep.c_str(), minutes, sep.c_str(), seconds);
    else if (total < msPerMinute)
        std::swprintf(buffer, 64, L"%d.%03d", seconds, millis);
    else
        std::swprintf(buffer, 64, L"%d%ls%02d", minutes, sep.c_str(), seconds);

    if (days >= 2)
        return std::to_wstring(days) + L" days " + buffer;
    if (days == 1)
        return std::wstring(L"1 day ") + buffer;
    return buffer;
}

std::wstring CompletionText(std::int64_t fileCount, TDateTime duration, const TFormatSettings& settings,
                            bool failed) {
    return (failed ? L"Stopped on an error after " : L"Successfully processed ") +
           std::to_wstring(fileCount) + L" files for " + RunningTimeText(duration, settings) + L".";
}

namespace {

// "12 new, 3 changed, 2 deleted, 1 moved since 12/8/2026 2:02:00 PM"; while the walk goes on, new and
// changed only, with the files seen so far.
template <typename TNumber> std::wstring ChangesText(const TScanCounts& counts, const TNumber& number) {
    const TChangeCounts& changes = counts.Changes;
    const std::wstring seen = number(counts.Files) + (counts.Files == 1 ? L" file seen" : L" files seen");
    if (counts.Since.empty())
        return seen + L"; no earlier scan to compare with" + (counts.Stopped ? L"" : L": this one is kept");
    std::wstring text = number(static_cast<std::int64_t>(changes.New)) + L" new, " +
                        number(static_cast<std::int64_t>(changes.Changed)) + L" changed";
    if (counts.Settled)
        text += L", " + number(static_cast<std::int64_t>(changes.Deleted)) + L" deleted, " +
                number(static_cast<std::int64_t>(changes.Moved)) + L" moved";
    text += L" since " + counts.Since;
    if (!counts.Settled)
        text += L" (" + seen + L")";
    if (changes.NotSeen > 0)
        text += L", " + number(static_cast<std::int64_t>(changes.NotSeen)) + L" not seen";
    if (counts.FiltersDiffer)
        text += L"; the filters differ: compared where both scans looked";
    return text;
}

} // namespace

std::wstring CountsText(const TScanCounts& counts, const TFormatSettings& settings) {
    if (counts.RootMissing)
        return L"The folder was not found";
    const auto number = [&](std::int64_t value) { return GroupedNumber(value, settings); };
    const auto many = [&](std::int64_t value, const wchar_t* one, const wchar_t* more) {
        return number(value) + (value == 1 ? one : more);
    };
    std::wstring text = counts.Paused ? L"Paused: " : counts.Stopped ? L"Stopped: " : L"";
    if (counts.Comparing) {
        text += ChangesText(counts, number);
    } else {
        // No row can be there when no name was taken: the hint takes the rows' place.
        const bool hint =
            counts.NameMasks && counts.NamesTaken == 0 && counts.Files > 0 && !counts.MaskHint.empty();
        if (counts.NameMasks)
            text += number(counts.NamesTaken) + L" of " +
                    many(counts.Files, L" file matches the names", L" files match the names");
        else
            text += many(counts.Files, L" file seen", L" files seen");
        if (hint)
            text += L" (did you mean " + counts.MaskHint + L"?)";
        if (counts.SkipPatterns)
            text += L", " + many(counts.FoldersSkipped, L" folder skipped", L" folders skipped");
        if (!hint)
            text += L", " + many(counts.Rows, L" row", L" rows");
    }
    if (counts.Selected > 1)
        text += L", " + number(counts.Selected) + L" selected, " + SizeText(counts.SelectedBytes);
    return text;
}

// No file holds more than 2^63 bytes; the shell's formatter takes a signed number.
std::wstring SizeText(std::uint64_t bytes) {
    wchar_t text[32] = {};
    StrFormatByteSizeW(static_cast<LONGLONG>(std::min<std::uint64_t>(bytes, INT64_MAX)), text, 32);
    return text;
}

std::wstring ExactSizeText(std::uint64_t bytes, const TFormatSettings& settings) {
    if (bytes == 1)
        return L"1 byte";
    return GroupedNumber(static_cast<long long>(std::min<std::uint64_t>(bytes, INT64_MAX)), settings) +
           L" bytes";
}

bool HasPatterns(const std::wstring& text) {
    return text.find_first_not_of(L" \t;,") != std::wstring::npos;
}

std::wstring MaskHint(const std::wstring& masks) {
    std::wstring hint;
    for (std::wstring_view mask : SplitPatterns(masks)) {
        if (mask.size() >= 2 && mask.front() == L'"' && mask.back() == L'"')
            mask = mask.substr(1, mask.size() - 2);
        if (mask.empty() || mask.find_first_of(L"*?") != std::wstring_view::npos)
            continue;
        std::wstring wide = L"*" + std::wstring(mask) + L"*";
        // Written so that the box would take it as one mask again.
        if (wide.find_first_of(L";,") != std::wstring::npos)
            wide = L"\"" + wide + L"\"";
        hint += (hint.empty() ? L"" : L"; ") + wide;
    }
    return hint;
}
