#include "cli/arguments.h"

#include <optional>

#include "scan/local_time.h"
#include "scan/moments.h"

namespace {

const wchar_t Choices[] = L"--newest N, --after MOMENT, --within DURATION, --since WHEN or --changed";

// Reads at least fewest and at most most digits at text[at...], moving at past them; digits tells
// how many there were.
bool Digits(const std::wstring& text, std::size_t& at, std::size_t fewest, std::size_t most,
            std::int64_t& value, std::size_t* digits = nullptr) {
    std::size_t count = 0;
    value = 0;
    for (; count < most && at + count < text.size() && text[at + count] >= L'0' && text[at + count] <= L'9';
         ++count) {
        value = value * 10 + (text[at + count] - L'0');
    }
    at += count;
    if (digits) {
        *digits = count;
    }
    return count >= fewest;
}

// The whole text is a number of one to most digits.
bool WholeNumber(const std::wstring& text, std::size_t most, std::int64_t& value) {
    std::size_t at = 0;
    return Digits(text, at, 1, most, value) && at == text.size();
}

bool Literal(const std::wstring& text, std::size_t& at, wchar_t c) {
    if (at < text.size() && text[at] == c) {
        ++at;
        return true;
    }
    return false;
}

// Words of a switch's value, as in a path, case does not count.
bool SameWord(const std::wstring& text, const wchar_t* word) {
    return CompareStringOrdinal(text.c_str(), -1, word, -1, TRUE) == CSTR_EQUAL;
}

} // namespace

std::wstring Quoted(const std::wstring& text) {
    return L"\"" + text + L"\"";
}

bool IsCommandLineScan(const std::vector<std::wstring>& arguments) {
    return !arguments.empty() && (arguments.front().starts_with(L"--") || arguments.front() == L"-0");
}

bool ParseMoment(const std::wstring& text, TDateTime& moment) {
    std::size_t at = 0;
    std::int64_t year, month, day, hour = 0, minute = 0, second = 0, fraction = 0;
    if (!Digits(text, at, 4, 4, year) || !Literal(text, at, L'-') || !Digits(text, at, 2, 2, month) ||
        !Literal(text, at, L'-') || !Digits(text, at, 2, 2, day)) {
        return false;
    }
    std::size_t fractionDigits = 3;
    if (at < text.size()) {
        if (!(Literal(text, at, L'T') || Literal(text, at, L' ')) || !Digits(text, at, 2, 2, hour) ||
            !Literal(text, at, L':') || !Digits(text, at, 2, 2, minute)) {
            return false;
        }
        // Seconds, then one to three digits of their fraction: tenths, hundredths or milliseconds.
        if (Literal(text, at, L':') &&
            (!Digits(text, at, 2, 2, second) ||
             (Literal(text, at, L'.') && !Digits(text, at, 1, 3, fraction, &fractionDigits)))) {
            return false;
        }
    }
    if (at != text.size()) {
        return false;
    }
    for (; fractionDigits < 3; ++fractionDigits) {
        fraction *= 10;
    }
    return TryEncodeDateTime(CalendarFields(static_cast<int>(year), static_cast<int>(month),
                                            static_cast<int>(day), static_cast<int>(hour),
                                            static_cast<int>(minute), static_cast<int>(second),
                                            static_cast<int>(fraction)),
                             moment);
}

bool ParseWithin(const std::wstring& text, const FILETIME& nowUtc, std::int64_t& instant) {
    std::int64_t count = 0;
    if (text.empty() || !WholeNumber(text.substr(0, text.size() - 1), 10, count)) {
        return false;
    }
    std::int64_t ticksPerUnit;
    switch (text.back()) {
    case L's':
        ticksPerUnit = 10'000'000;
        break;
    case L'm':
        ticksPerUnit = 600'000'000;
        break;
    case L'h':
        ticksPerUnit = 36'000'000'000;
        break;
    case L'd':
        ticksPerUnit = 864'000'000'000;
        break;
    default:
        return false;
    }
    const std::int64_t now = FileTimeTicks(nowUtc);
    // Counted back in UTC and compared as an instant, so a daylight-saving change inside the
    // duration neither adds nor loses an hour. Before 1601 there are no file times: every file is
    // newer.
    instant = count <= now / ticksPerUnit ? now - count * ticksPerUnit : -1;
    return true;
}

bool ParseArguments(const std::vector<std::wstring>& arguments, const FILETIME& nowUtc, TCommandLine& request,
                    std::wstring& error, TLocalTimeConverter zone) {
    request = TCommandLine{};
    TScanRequest& scan = request.Scan;
    std::wstring selection; // the switch that chose the files
    std::wstring format;    // the switch that chose the output's form
    bool outGiven = false, timeGiven = false, baselineGiven = false;
    const auto fail = [&error](const std::wstring& text) {
        error = L"quenwick: " + text;
        return false;
    };
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        if (!argument.starts_with(L"-")) {
            if (i + 1 != arguments.size()) {
                return fail(L"unexpected argument " + Quoted(argument) +
                            L": the folder comes last, after the switches.");
            }
            scan.RootPath = argument;
            break;
        }
        // "--name value" or "--name=value".
        const std::size_t equals = argument.find(L'=');
        const std::wstring name = argument.substr(0, equals);
        std::optional<std::wstring> inlineValue;
        if (equals != std::wstring::npos) {
            inlineValue = argument.substr(equals + 1);
        }
        const auto value = [&](std::wstring& text) {
            if (inlineValue) {
                text = *inlineValue;
                return true;
            }
            if (i + 1 >= arguments.size()) {
                return false;
            }
            text = arguments[++i];
            return true;
        };
        if (name == L"--help" || name == L"--version" || name == L"--no-subfolders" || name == L"-0" ||
            name == L"--null" || name == L"--json" || name == L"--changed") {
            if (inlineValue) {
                return fail(name + L" takes no value.");
            }
            if (name == L"--changed") {
                if (!selection.empty()) {
                    return fail(name + L" cannot go with " + selection + L": give one of " + Choices + L".");
                }
                selection = name;
                request.Changed = true;
                continue;
            }
            if (name == L"--no-subfolders") {
                scan.Recursive = false;
                continue;
            }
            if (name == L"--help" || name == L"--version") {
                request.Action =
                    name == L"--help" ? TCommandLine::TAction::Help : TCommandLine::TAction::Version;
                return true;
            }
            if (!format.empty() && format != name) {
                return fail(name + L" cannot go with " + format + L": the lines have one form.");
            }
            format = name;
            request.Format = name == L"--json" ? TOutputFormat::Json : TOutputFormat::Null;
            continue;
        }
        std::wstring text;
        const bool selects =
            name == L"--newest" || name == L"--after" || name == L"--within" || name == L"--since";
        if (selects || name == L"--out" || name == L"--skip" || name == L"--name" || name == L"--time" ||
            name == L"--baseline") {
            if (!value(text)) {
                return fail(name + L" needs a value.");
            }
        } else {
            return fail(L"unknown switch " + Quoted(name) + L" (quenwick --help lists them).");
        }
        if (selects) {
            if (!selection.empty()) {
                return fail(name + L" cannot go with " + selection + L": give one of " + Choices + L".");
            }
            selection = name;
            if (name == L"--newest") {
                std::int64_t n = 0;
                if (!WholeNumber(text, 10, n) || n > 2147483647) {
                    return fail(L"--newest needs a whole number from 0 to 2147483647, not " + Quoted(text) +
                                L".");
                }
                scan.ByDate = false;
                scan.Newest = static_cast<std::int32_t>(n);
            } else if (name == L"--after") {
                if (!ParseMoment(text, scan.After)) {
                    return fail(
                        L"--after needs a local date and time such as 2026-12-07, 2026-12-07T14:30 or "
                        L"\"2026-12-07 14:30:15.250\", not " +
                        Quoted(text) + L".");
                }
                scan.ByDate = true;
            } else if (name == L"--since") {
                std::int64_t instant = 0;
                const bool today = SameWord(text, L"today");
                if (SameWord(text, L"last")) {
                    request.SinceLast = true;
                } else if ((today || SameWord(text, L"yesterday")) &&
                           MomentInstant(today ? TMoment::Today : TMoment::Yesterday, FileTimeTicks(nowUtc),
                                         zone, instant)) {
                    scan.AfterUtc = instant;
                } else if (ParseWithin(text, nowUtc, instant)) {
                    scan.AfterUtc = instant;
                } else {
                    return fail(
                        L"--since needs today, yesterday, last or a duration such as 90s, 15m, 2h or 3d, "
                        L"not " +
                        Quoted(text) + L".");
                }
                scan.ByDate = true;
            } else {
                std::int64_t instant = 0;
                if (!ParseWithin(text, nowUtc, instant)) {
                    return fail(L"--within needs a duration such as 90s, 15m, 2h or 3d, not " + Quoted(text) +
                                L".");
                }
                scan.ByDate = true;
                scan.AfterUtc = instant;
            }
        } else if (name == L"--baseline") {
            if (baselineGiven || text.empty()) {
                return fail(baselineGiven ? std::wstring(L"--baseline is given twice.")
                                          : std::wstring(L"--baseline needs a file name."));
            }
            baselineGiven = true;
            request.Baseline = text;
        } else if (name == L"--out") {
            if (outGiven) {
                return fail(L"--out is given twice.");
            }
            outGiven = true;
            if (text.empty()) {
                return fail(L"--out needs a file name.");
            }
            request.OutPath = text;
        } else if (name == L"--time") {
            const auto is = [&text](const wchar_t* word) { return SameWord(text, word); };
            if (timeGiven || !(is(L"modified") || is(L"created") || is(L"either"))) {
                return fail(timeGiven
                                ? std::wstring(L"--time is given twice.")
                                : L"--time needs modified, created or either, not " + Quoted(text) + L".");
            }
            timeGiven = true;
            scan.Time = is(L"modified")  ? TTimeKind::Modified
                        : is(L"created") ? TTimeKind::Created
                                         : TTimeKind::Either;
        } else {
            // Each may repeat; the patterns of all of them count.
            std::wstring& list = name == L"--skip" ? scan.SkipFolders : scan.NameMasks;
            list += (list.empty() ? L"" : L";") + text;
        }
    }
    if (selection.empty()) {
        return fail(L"say which files: " + std::wstring(Choices) + L".");
    }
    if (baselineGiven && !request.Changed) {
        return fail(L"--baseline goes with --changed: it names the snapshot the changes are counted from.");
    }
    if (scan.RootPath.empty()) {
        return fail(L"the folder to scan is missing; it comes last.");
    }
    if (request.Format == TOutputFormat::Lines && request.OutPath.size() >= 4 &&
        CompareStringOrdinal(request.OutPath.c_str() + request.OutPath.size() - 4, 4, L".csv", 4, TRUE) ==
            CSTR_EQUAL) {
        request.Format = TOutputFormat::Csv;
    }
    return true;
}

std::wstring HelpText() {
    return L"Usage: quenwick (--newest N | --after MOMENT | --within DURATION | --since WHEN |\r\n"
           L"                 --changed [--baseline FILE])\r\n"
           L"                [--no-subfolders] [--skip PATTERNS] [--name PATTERNS]\r\n"
           L"                [--time modified|created|either] [--out FILE] [-0 | --json] FOLDER\r\n"
           L"       quenwick [FOLDER]          opens the window\r\n"
           L"\r\n"
           L"Lists the files below FOLDER, newest first, one a line: the full path, a tab, and the\r\n"
           L"local time of its last change (2026-12-07T14:30:15.250).\r\n"
           L"\r\n"
           L"  --newest N         the N newest files, N from 0 to 2147483647; of files with the same\r\n"
           L"                     time, the one found first\r\n"
           L"  --after MOMENT     every file changed after a local moment: 2026-12-07,\r\n"
           L"                     2026-12-07T14:30 or \"2026-12-07 14:30:15.250\"\r\n"
           L"  --within DURATION  every file changed within the last 90s, 15m, 2h or 3d\r\n"
           L"  --since WHEN       every file changed since local midnight today or yesterday,\r\n"
           L"                     since a DURATION ago (--since 7d is --within 7d), or since\r\n"
           L"                     the start of the last completed scan of FOLDER (last), made\r\n"
           L"                     by the window or by this program\r\n"
           L"  --changed          what changed since the last completed scan of FOLDER with the\r\n"
           L"                     same filters: new, changed, deleted (its last path) and moved\r\n"
           L"                     (its new path) files; the counts go to standard error. Every\r\n"
           L"                     completed scan is kept as a snapshot, about 20 bytes a file, under\r\n"
           L"                     %LOCALAPPDATA%\\Quenwick\\Snapshots (16 roots). Files in folders\r\n"
           L"                     not read or left out by --skip or --name are not seen, never\r\n"
           L"                     deleted. A stopped scan keeps the earlier snapshot.\r\n"
           L"  --baseline FILE    with --changed: compare with the snapshot in FILE and write the\r\n"
           L"                     new one there\r\n"
           L"  --no-subfolders    only the files in FOLDER itself\r\n"
           L"  --skip PATTERNS    leave out folders: a name anywhere (node_modules, .git, cache*) or,\r\n"
           L"                     with a backslash, a path below FOLDER (build\\out), from a drive\r\n"
           L"                     (C:\\Users\\me\\AppData) or from a wildcard (**\\AppData\\Local\\Temp)\r\n"
           L"  --name PATTERNS    only files whose name matches one of them (*.docx, report*)\r\n"
           L"                     Patterns are separated by , or ; with * and ?; in a path * stays\r\n"
           L"                     within a folder's name and ** is any number of folders. *.* is\r\n"
           L"                     every name, *. a name without an extension; case does not count.\r\n"
           L"                     --skip and --name may each be given more than once.\r\n"
           L"  --time KIND        the time that counts: modified (the default), created, or either,\r\n"
           L"                     the later of the two (finds files copied or unpacked recently)\r\n"
           L"  --out FILE         write the lines to FILE instead, in UTF-8; a FILE ending in .csv\r\n"
           L"                     gets CSV with a byte-order mark for spreadsheets, sizes last\r\n"
           L"  -0, --null         paths only, each ended by NUL, for xargs -0\r\n"
           L"  --json             one JSON object a line: path, local time with its UTC offset, UTC,\r\n"
           L"                     size in bytes; with --changed also change, old_path, old_size\r\n"
           L"                     and old_utc (CSV gains the same columns)\r\n"
           L"  --help, --version\r\n"
           L"\r\n"
           L"Folders that cannot be listed are named on standard error and the scan goes on.\r\n"
           L"Ctrl+C stops the scan and writes what was found so far.\r\n"
           L"Exit codes: 0 every folder listed, 1 some folder could not be or some name could not\r\n"
           L"be written exactly in UTF-8, 2 bad arguments (a FOLDER that does not exist too) or an\r\n"
           L"output file that cannot be written, 130 stopped by Ctrl+C.\r\n";
}
