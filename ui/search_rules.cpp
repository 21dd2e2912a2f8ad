#include "ui/search_rules.h"

#include <cmath>
#include <cwchar>

std::wstring RootPathFromText(const std::wstring& text)
{
    if (!text.empty() && text.back() == L'\\')
        return text;
    return text + L'\\';
}

std::wstring TrimControls(const std::wstring& text)
{
    size_t first = 0, last = text.size();
    while (first < last && text[first] <= L' ')
        ++first;
    while (last > first && text[last - 1] <= L' ')
        --last;
    return text.substr(first, last - first);
}

bool StartEnabled(const std::wstring& pathText, TJobState job)
{
    return !TrimControls(pathText).empty() && job != TJobState::Running;
}

bool PauseEnabled(TJobState job) { return job == TJobState::Running; }

bool StopEnabled(TJobState job) { return job != TJobState::None; }

TDateTime ThresholdFromPickers(TDateTime date, TDateTime time)
{
    double timeDays = 0;
    const double timeOfDay = std::modf(time, &timeDays);
    return std::trunc(date) + std::fabs(timeOfDay);
}

std::wstring RunningTimeText(TDateTime duration, const TFormatSettings& settings)
{
    constexpr std::int64_t msPerDay = 86'400'000, msPerHour = 3'600'000, msPerMinute = 60'000;
    // Every field, the thresholds included, comes from the value rounded to the millisecond, so
    // 59.9996 seconds read as 1:00 and not as 0.000.
    const std::int64_t total = std::llround(std::fabs(duration) * msPerDay);
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

std::wstring CompletionText(std::int64_t fileCount, TDateTime duration, const TFormatSettings& settings)
{
    return L"Successfully processed " + std::to_wstring(fileCount) + L" files for " +
           RunningTimeText(duration, settings) + L".";
}
