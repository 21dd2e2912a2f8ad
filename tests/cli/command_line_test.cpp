// The real programs started with switches: what each prints, its exit code, and that its lines are
// the window's rows for the same settings on the same tree.
#include "reliability/reliability_support.h"
#include "scan/date_time.h"
#include "scan/last_scans.h"
#include "scan/local_time.h"
#include "scan/scan_request.h"
#include "scan/snapshot_file.h"
#include "scan/sys_error.h"
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

using reliability::WindowTest;

struct TResult {
    long Exit = -1; // -1: still running at the deadline
    std::string Out;
    std::wstring Err;
};

std::wstring TempName(const wchar_t* prefix) {
    wchar_t folder[MAX_PATH], name[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, prefix, 0, name);
    return name;
}

std::wstring FromUtf8(const std::string& bytes) {
    return reliability::Widen(bytes);
}

// Runs a program with its standard output and error in files: Wine's helper processes may keep a
// pipe open after the program has ended. An inheritable handle given for one of them is used instead.
TResult RunProgram(const wchar_t* exe, const std::wstring& arguments, DWORD timeoutMs = 120000,
                   HANDLE givenOut = nullptr, HANDLE givenErr = nullptr) {
    const std::wstring outPath = TempName(L"out"), errPath = TempName(L"err");
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE out = CreateFileW(outPath.c_str(), GENERIC_WRITE, share, &inherit, CREATE_ALWAYS, 0, nullptr);
    HANDLE err = CreateFileW(errPath.c_str(), GENERIC_WRITE, share, &inherit, CREATE_ALWAYS, 0, nullptr);
    std::wstring commandLine = std::wstring(L"\"") + exe + L"\" " + arguments;
    STARTUPINFOW startup{sizeof startup};
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = givenOut ? givenOut : out;
    startup.hStdError = givenErr ? givenErr : err;
    PROCESS_INFORMATION process{};
    TResult result;
    const BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process);
    CloseHandle(out);
    CloseHandle(err);
    if (started) {
        if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0) {
            DWORD code = 0;
            GetExitCodeProcess(process.hProcess, &code);
            result.Exit = static_cast<long>(code);
        } else {
            TerminateProcess(process.hProcess, 99);
            WaitForSingleObject(process.hProcess, 5000);
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    result.Out = ReadBytes(outPath);
    result.Err = FromUtf8(ReadBytes(errPath));
    DeleteFileW(outPath.c_str());
    DeleteFileW(errPath.c_str());
    return result;
}

TResult RunExe(const std::wstring& arguments) {
    return RunProgram(QUENWICK_EXE, arguments);
}

// One argument of a command line: a backslash before the closing quote is doubled, or it would
// escape the quote.
std::wstring Arg(const std::wstring& text) {
    std::wstring argument = L"\"" + text;
    for (size_t i = text.size(); i > 0 && text[i - 1] == L'\\'; --i)
        argument += L'\\';
    return argument + L"\"";
}

// How the program names an argument in its messages.
std::wstring Quoted(const std::wstring& text) {
    return L"\"" + text + L"\"";
}

std::string Utf8(const std::wstring& text) {
    std::string bytes(text.size() * 3, '\0');
    bytes.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(),
                                                         static_cast<int>(text.size()), bytes.data(),
                                                         static_cast<int>(bytes.size()), nullptr, nullptr)));
    return bytes;
}

// What a program prints: lines ended by CR LF, the last one included.
std::vector<std::wstring> Lines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    if (start != text.size())
        lines.push_back(L"<unterminated> " + text.substr(start));
    return lines;
}

std::wstring Iso(const SYSTEMTIME& t) {
    wchar_t text[32];
    swprintf(text, 32, L"%04d-%02d-%02dT%02d:%02d:%02d.%03d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
             t.wSecond, t.wMilliseconds);
    return text;
}

SYSTEMTIME Local(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int ms = 0) {
    return CalendarFields(year, month, day, hour, minute, second, ms);
}

FILETIME FileTimeOfLocal(const SYSTEMTIME& local) {
    SYSTEMTIME utc;
    FILETIME time{};
    TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc);
    SystemTimeToFileTime(&utc, &time);
    return time;
}

FILETIME SecondsAgo(long long seconds) {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const unsigned long long ticks =
        ((static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime) -
        seconds * 10000000ull;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// Files at local times that sit on and beside the moments the cases name.
struct TDatedFile {
    const wchar_t* Name;
    SYSTEMTIME Time;
    std::uint64_t Size = 0; // where a test makes the file with it
};
const TDatedFile DatedFiles[] = {
    {L"a.txt", Local(2024, 3, 1, 12, 30, 15, 250)},
    {L"b.txt", Local(2024, 3, 1, 12, 30, 15, 251), 1023},
    {L"c.txt", Local(2024, 3, 1)},
    {L"d.txt", Local(2024, 2, 29, 23, 59, 59, 999)},
    {L"sub\\e.txt", Local(2024, 3, 2, 8), (1ull << 32) + 1},
    {L"sub\\f.txt", Local(2024, 3, 1, 12, 30)},
    {L"sub\\g,h.txt", Local(2020, 1, 1)},
};

TEST(CommandLineTest, EachSwitchSelectsItsFilesNewestFirstWithTheirLocalTimes) {
    TTempTree tree;
    tree.Folder(L"sub");
    for (const TDatedFile& file : DatedFiles)
        tree.File(file.Name, FileTimeOfLocal(file.Time), 0, file.Size);
    TTempTree recent;
    const struct {
        const wchar_t* Name;
        long long SecondsAgo;
    } recentFiles[] = {{L"s30", 30}, {L"m10", 600}, {L"h1", 5400}, {L"d2", 2 * 86400}, {L"d4", 4 * 86400}};
    for (const auto& file : recentFiles)
        recent.File(file.Name, SecondsAgo(file.SecondsAgo));

    const std::wstring r = Arg(tree.Root()), n = Arg(recent.Root());
    const struct {
        std::wstring Arguments;
        std::vector<std::wstring> Names; // newest first
    } cases[] = {
        {L"--after 2024-03-01 " + r, {L"sub\\e.txt", L"b.txt", L"a.txt", L"sub\\f.txt"}},
        {L"--after 2024-03-01T12:30 " + r, {L"sub\\e.txt", L"b.txt", L"a.txt"}},
        {L"--after \"2024-03-01 12:30:15.250\" " + r, {L"sub\\e.txt", L"b.txt"}},
        {L"--after=2024-03-01T12:30:15.25 " + r, {L"sub\\e.txt", L"b.txt"}},
        {L"--no-subfolders --after 2024-03-01 " + r, {L"b.txt", L"a.txt"}},
        {L"--newest 2 " + r, {L"sub\\e.txt", L"b.txt"}},
        {L"--newest 0 " + r, {}},
        {L"--newest 2147483647 " + r,
         {L"sub\\e.txt", L"b.txt", L"a.txt", L"sub\\f.txt", L"c.txt", L"d.txt", L"sub\\g,h.txt"}},
        {L"--within 90s " + n, {L"s30"}},
        {L"--within 15m " + n, {L"s30", L"m10"}},
        {L"--within 2h " + n, {L"s30", L"m10", L"h1"}},
        {L"--within 3d --no-subfolders " + n, {L"s30", L"m10", L"h1", L"d2"}},
        {L"--skip sub --after 2024-03-01 " + r, {L"b.txt", L"a.txt"}},
        {L"--skip=/SUB --newest 9 --time=MODIFIED " + r, {L"b.txt", L"a.txt", L"c.txt", L"d.txt"}},
        {L"--name \"g?h.*, B*\" --name e.txt --newest 9 " + r, {L"sub\\e.txt", L"b.txt", L"sub\\g,h.txt"}},
        {L"--name \"\\\"g,h.txt\\\"\" --newest 9 " + r, {L"sub\\g,h.txt"}},
    };
    for (const auto& c : cases) {
        const TResult result = RunExe(c.Arguments);
        EXPECT_EQ(0, result.Exit) << c.Arguments;
        EXPECT_EQ(L"", result.Err) << c.Arguments;
        std::vector<std::wstring> names;
        for (const std::wstring& line : Lines(FromUtf8(result.Out))) {
            const size_t tab = line.find(L'\t');
            const std::wstring path = line.substr(0, tab);
            const bool dated = path.starts_with(tree.Root());
            const std::wstring name = path.substr((dated ? tree.Root() : recent.Root()).size());
            names.push_back(name);
            if (dated) {
                const auto file = std::find_if(std::begin(DatedFiles), std::end(DatedFiles),
                                               [&](const TDatedFile& f) { return name == f.Name; });
                ASSERT_NE(std::end(DatedFiles), file) << line;
                EXPECT_EQ(path + L"\t" + Iso(file->Time), line);
            }
        }
        EXPECT_EQ(c.Names, names) << c.Arguments;
    }
}

TEST(CommandLineTest, OutWritesUtf8TextOrSpreadsheetCsvAndNothingToStandardOutput) {
    TTempTree tree;
    tree.Folder(L"sub");
    for (const TDatedFile& file : DatedFiles)
        tree.File(file.Name, FileTimeOfLocal(file.Time), 0, file.Size);
    tree.File(L"sub\\\U0001F600 smile;.txt", FileTimeOfLocal(Local(2019, 6, 1)));
    const std::wstring root = Arg(tree.Root());
    const TResult plain = RunExe(L"--newest 100 " + root);
    ASSERT_EQ(0, plain.Exit);

    TTempTree out;
    const std::wstring text = out.Root() + L"lines.txt", csv = out.Root() + L"lines.CSV";
    const std::wstring deep =
        out.Folder(std::wstring(200, L'o')) + std::wstring(100, L'p') + L".txt"; // past 260
    // Never resolved: that would take the dot off its folder's name.
    const std::wstring dotted = L"\\\\?\\" + out.Folder(L"name.") + L"x.csv";
    std::string expectedCsv = "\xEF\xBB\xBF"
                              "File,Date/Time,Size\r\n";
    for (const std::wstring& line : Lines(FromUtf8(plain.Out))) {
        const size_t tab = line.find(L'\t');
        std::wstring path = line.substr(0, tab);
        const auto file = std::find_if(std::begin(DatedFiles), std::end(DatedFiles),
                                       [&](const TDatedFile& f) { return tree.Root() + f.Name == path; });
        const std::uint64_t size = file == std::end(DatedFiles) ? 0 : file->Size;
        if (path.find_first_of(L",;") != std::wstring::npos)
            path = L"\"" + path + L"\"";
        expectedCsv += Utf8(path + L"," + line.substr(tab + 1) + L"," + std::to_wstring(size) + L"\r\n");
    }
    const struct {
        std::wstring File;
        std::string Expected;
    } cases[] = {{text, plain.Out}, {csv, expectedCsv}, {deep, plain.Out}, {dotted, expectedCsv}};
    for (const auto& c : cases) {
        const TResult result = RunExe(L"--out " + Arg(c.File) + L" --newest 100 " + root);
        EXPECT_EQ(0, result.Exit) << c.File;
        EXPECT_EQ("", result.Out) << c.File;
        EXPECT_EQ(L"", result.Err) << c.File;
        EXPECT_EQ(c.Expected, ReadBytes(c.File)) << c.File;
    }
    // Both hold every file, the one outside the code page whole.
    EXPECT_EQ(8u, Lines(FromUtf8(plain.Out)).size());
    const std::string quotedName = Utf8(L"\"" + tree.Root() + L"sub\\\U0001F600 smile;.txt\"");
    EXPECT_NE(std::string::npos, expectedCsv.find(quotedName));
}

// -0 gives the paths of the lines, each ended by NUL; --json the same files with their local time,
// its offset from UTC, the UTC time and the size in bytes.
TEST(CommandLineTest, NullAndJsonCarryTheLinesFiles) {
    TTempTree tree;
    tree.Folder(L"sub");
    for (const TDatedFile& file : DatedFiles)
        tree.File(file.Name, FileTimeOfLocal(file.Time), 0, file.Size);
    const std::wstring root = Arg(tree.Root());
    const std::vector<std::wstring> lines = Lines(FromUtf8(RunExe(L"--newest 4 " + root).Out));
    ASSERT_EQ(4u, lines.size());
    std::string nulls, json;
    for (const std::wstring& line : lines) {
        const std::wstring path = line.substr(0, line.find(L'\t'));
        nulls += Utf8(path) + '\0';
        const auto file = std::find_if(std::begin(DatedFiles), std::end(DatedFiles),
                                       [&](const TDatedFile& f) { return tree.Root() + f.Name == path; });
        const FILETIME time = FileTimeOfLocal(file->Time);
        SYSTEMTIME utc;
        FileTimeToSystemTime(&time, &utc);
        TDateTime local = 0, universal = 0;
        TryEncodeDateTime(file->Time, local);
        TryEncodeDateTime(utc, universal);
        const long offset = std::lround((local - universal) * 1440);
        wchar_t zone[8];
        swprintf(zone, 8, L"%c%02ld:%02ld", offset < 0 ? L'-' : L'+', std::labs(offset) / 60,
                 std::labs(offset) % 60);
        std::wstring escaped;
        for (const wchar_t c : path)
            escaped += c == L'\\' ? L"\\\\" : std::wstring(1, c);
        json += Utf8(L"{\"path\":\"" + escaped + L"\",\"local\":\"" + Iso(file->Time) + zone +
                     L"\",\"utc\":\"" + Iso(utc) + L"Z\",\"size\":" + std::to_wstring(file->Size) + L"}\r\n");
    }
    for (const auto& [arguments, expected] :
         {std::pair{L"-0 --newest 4 " + root, nulls}, {L"--newest 4 --json " + root, json}}) {
        const TResult result = RunExe(arguments);
        EXPECT_EQ(0, result.Exit) << arguments;
        EXPECT_EQ(expected, result.Out) << arguments;
    }
}

// --changed against a --baseline file: the first run lists nothing and keeps the scan; after the
// changes every form carries each kind of change, newest first, and the new snapshot is kept.
TEST(CommandLineTest, ChangedListsWhatDiffersFromTheBaselineInEveryForm) {
    TTempTree tree, kept;
    const auto day = [](int d) { return Local(2024, 1, d, 12); };
    const struct {
        const wchar_t* Name;
        int Day;
        std::uint64_t Size;
    } files[] = {{L"same.txt", 1, 1},  {L"grow.txt", 2, 10},  {L"touch.txt", 3, 5},
                 {L"gone.txt", 4, 4},  {L"a\\old.txt", 5, 7}, {L"a\\travel.txt", 6, 3},
                 {L"cache\\c1", 7, 1}, {L"cache\\c2", 8, 1},  {L"b\\stay", 9, 1}};
    for (const wchar_t* folder : {L"a", L"b", L"cache"})
        tree.Folder(folder);
    for (const auto& file : files)
        tree.File(file.Name, FileTimeOfLocal(day(file.Day)), 0, file.Size);
    const std::wstring base = kept.Root() + L"base.qsnap", r = Arg(tree.Root());
    const TResult firstRun = RunExe(L"--changed --baseline " + Arg(base) + L" " + r);
    EXPECT_EQ(0, firstRun.Exit);
    EXPECT_EQ("", firstRun.Out);
    EXPECT_EQ(
        L"quenwick: no earlier snapshot of this folder and these filters; this scan is kept for the next "
        L"--changed.\r\n",
        firstRun.Err);

    tree.File(L"grow.txt", FileTimeOfLocal(day(2)), 0, 20);
    tree.File(L"touch.txt", FileTimeOfLocal(day(30)), 0, 5);
    tree.File(L"new.txt", FileTimeOfLocal(day(31)), 0, 2);
    const std::wstring root = tree.Root();
    EXPECT_TRUE(DeleteFileW((root + L"gone.txt").c_str()) && DeleteFileW((root + L"cache\\c2").c_str()));
    EXPECT_TRUE(MoveFileW((root + L"a\\old.txt").c_str(), (root + L"a\\renamed.txt").c_str()));
    EXPECT_TRUE(MoveFileW((root + L"a\\travel.txt").c_str(), (root + L"b\\travel.txt").c_str()));
    tree.File(L"b\\travel.txt", FileTimeOfLocal(day(29)), 0, 8);
    // Newest first. A file renamed in its folder, or moved and written to, keeps its identity: a move.
    const struct {
        const wchar_t* Kind;
        const wchar_t* Path;
        const wchar_t* OldPath; // none for a new file
        std::uint64_t Size, OldSize;
        int Day, OldDay;
    } changes[] = {
        {L"new", L"new.txt", nullptr, 2, 0, 31, 0},
        {L"changed", L"touch.txt", L"touch.txt", 5, 5, 30, 3},
        {L"moved", L"b\\travel.txt", L"a\\travel.txt", 8, 3, 29, 6},
        {L"moved", L"a\\renamed.txt", L"a\\old.txt", 7, 7, 5, 5},
        {L"deleted", L"gone.txt", L"gone.txt", 4, 4, 4, 4},
        {L"changed", L"grow.txt", L"grow.txt", 20, 10, 2, 2},
    };
    const auto utc = [](const SYSTEMTIME& local) {
        const FILETIME time = FileTimeOfLocal(local);
        SYSTEMTIME fields;
        FileTimeToSystemTime(&time, &fields);
        return fields;
    };
    const auto json = [](const std::wstring& text) {
        std::wstring escaped;
        for (const wchar_t c : text)
            escaped += c == L'\\' ? L"\\\\" : std::wstring(1, c);
        return L"\"" + escaped + L"\"";
    };
    std::string lines, nulls, jsons,
        csv = "\xEF\xBB\xBF"
              "File,Date/Time,Size,Change,Old path,Old size,Old UTC\r\n";
    for (const auto& c : changes) {
        const std::wstring path = root + c.Path, size = std::to_wstring(c.Size);
        const SYSTEMTIME at = day(c.Day), old = day(c.OldDay);
        TDateTime local = 0, universal = 0;
        TryEncodeDateTime(at, local);
        TryEncodeDateTime(utc(at), universal);
        const long offset = std::lround((local - universal) * 1440);
        wchar_t zone[8];
        swprintf(zone, 8, L"%c%02ld:%02ld", offset < 0 ? L'-' : L'+', std::labs(offset) / 60,
                 std::labs(offset) % 60);
        lines += Utf8(path + L"\t" + Iso(at) + L"\r\n");
        nulls += Utf8(path) + '\0';
        jsons +=
            Utf8(L"{\"path\":" + json(path) + L",\"local\":\"" + Iso(at) + zone + L"\",\"utc\":\"" +
                 Iso(utc(at)) + L"Z\",\"size\":" + size + L",\"change\":\"" + c.Kind + L"\",\"old_path\":" +
                 (c.OldPath ? json(root + c.OldPath) + L",\"old_size\":" + std::to_wstring(c.OldSize) +
                                  L",\"old_utc\":\"" + Iso(utc(old)) + L"Z\""
                            : L"null,\"old_size\":null,\"old_utc\":null") +
                 L"}\r\n");
        csv += Utf8(path + L"," + Iso(at) + L"," + size + L"," + c.Kind + L"," +
                    (c.OldPath
                         ? root + c.OldPath + L"," + std::to_wstring(c.OldSize) + L"," + Iso(utc(old)) + L"Z"
                         : L",,") +
                    L"\r\n");
    }
    // Today's --skip leaves cache out: its files are not seen, the one gone from it is no deletion.
    const std::wstring counts = L"quenwick: 1 new, 2 changed, 1 deleted, 2 moved since ",
                       left =
                           L"; 2 files not seen, in folders not read or left out by the filters; the filters "
                           L"differ from the earlier scan's: only what both covered is compared.\r\n";
    const std::wstring csvFile = kept.Root() + L"changes.csv";
    const struct {
        std::wstring Switches;
        std::string Expected;
        bool ToFile;
    } forms[] = {{L"", lines, false},
                 {L"-0", nulls, false},
                 {L"--json", jsons, false},
                 {L"--out " + Arg(csvFile), csv, true}};
    int copy = 0;
    for (const auto& form : forms) {
        const std::wstring baseline = kept.Root() + L"base" + std::to_wstring(++copy) + L".qsnap";
        ASSERT_TRUE(CopyFileW(base.c_str(), baseline.c_str(), FALSE));
        const TResult result =
            RunExe(form.Switches + L" --changed --skip cache --baseline " + Arg(baseline) + L" " + r);
        EXPECT_EQ(0, result.Exit) << form.Switches;
        EXPECT_EQ(form.Expected, form.ToFile ? ReadBytes(csvFile) : result.Out) << form.Switches;
        // The earlier scan's start, local, to the minute: "2026-12-08 14:02".
        EXPECT_TRUE(result.Err.starts_with(counts) && result.Err.size() == counts.size() + 16 + left.size() &&
                    result.Err.ends_with(left))
            << result.Err;
    }
    // Each run kept its scan in its baseline: the next one finds nothing changed.
    const TResult again =
        RunExe(L"--changed --skip cache --baseline " + Arg(kept.Root() + L"base1.qsnap") + L" " + r);
    EXPECT_EQ(0, again.Exit);
    EXPECT_EQ("", again.Out);
    const std::wstring none = L"quenwick: 0 new, 0 changed, 0 deleted, 0 moved since ";
    EXPECT_TRUE(again.Err.starts_with(none) && again.Err.size() == none.size() + 16 + 3 &&
                again.Err.ends_with(L".\r\n"))
        << again.Err;
    // A scan of another mode keeps its snapshot too: the next --changed compares with it.
    EXPECT_EQ(0, RunExe(L"--newest 1 " + r).Exit);
    const TResult stored = RunExe(L"--changed " + r);
    EXPECT_TRUE(stored.Out.empty() && stored.Err.starts_with(none)) << stored.Err;
    // A baseline cut short or with a byte changed is named, treated as absent, and replaced whole.
    const std::string whole = ReadBytes(kept.Root() + L"base1.qsnap");
    for (const bool cut : {true, false}) {
        std::string bytes = whole;
        cut ? bytes.resize(bytes.size() / 2) : static_cast<void>(bytes[bytes.size() / 2] ^= 0x20);
        const std::wstring spoilt = kept.Root() + L"spoilt.qsnap";
        const HANDLE file = CreateFileW(spoilt.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
        CloseHandle(file);
        const TResult read = RunExe(L"--changed --skip cache --baseline " + Arg(spoilt) + L" " + r);
        EXPECT_EQ(0, read.Exit);
        EXPECT_EQ("", read.Out);
        EXPECT_NE(std::wstring::npos, read.Err.find(cut ? L"is cut short" : L"is damaged")) << read.Err;
        EXPECT_NE(std::wstring::npos, read.Err.find(L"this scan is kept")) << read.Err;
        EXPECT_TRUE(ReadSnapshot(spoilt, root).Usable());
    }
}

// The Unix name of a path, as the shell that starts a program in another zone needs it.
std::string UnixPath(const std::wstring& path) {
    using TUnixName = char*(CDECL*)(LPCWSTR);
    const auto unixName = reinterpret_cast<TUnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    char* name = unixName ? unixName(path.c_str()) : nullptr;
    const std::string text = name ? name : "";
    HeapFree(GetProcessHeap(), 0, name);
    return text;
}

// Runs the console program with TZ set: Wine takes its zone from TZ when a process starts, so it
// is started by a shell, which cannot be waited for; the file it writes the exit code to last can.
TResult RunComInZone(const char* zone, const std::vector<std::wstring>& arguments) {
    const std::wstring out = TempName(L"out"), err = TempName(L"err"), code = TempName(L"rc");
    std::string script = std::string("TZ=") + zone + " wine '" + UnixPath(QUENWICK_COM) + "'";
    for (const std::wstring& argument : arguments)
        script += " '" + Utf8(argument) + "'";
    script += " >'" + UnixPath(out) + "' 2>'" + UnixPath(err) + "'; echo $? >'" + UnixPath(code) +
              ".new'; mv '" + UnixPath(code) + ".new' '" + UnixPath(code) + "'";
    std::string command = "/bin/sh -c \"" + script + "\"";
    DeleteFileW(code.c_str());
    STARTUPINFOA startup{sizeof startup};
    PROCESS_INFORMATION process{};
    TResult result;
    if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        for (const ULONGLONG deadline = GetTickCount64() + 120000; GetTickCount64() < deadline; Sleep(50)) {
            if (const std::string text = ReadBytes(code); !text.empty()) {
                result.Exit = std::stol(text);
                break;
            }
        }
    }
    result.Out = ReadBytes(out);
    result.Err = FromUtf8(ReadBytes(err));
    for (const std::wstring& file : {out, err, code})
        DeleteFileW(file.c_str());
    return result;
}

// New York's hour from 01:00 on 1 November 2026 repeats: the file of 06:10Z, shown 01:10, is newer
// than that of 05:50Z, shown 01:50. It is kept by N = 1 and comes first; 01:30 is the hour's first
// occurrence (05:30Z), after which both files come; --within counts back to an instant.
TEST(CommandLineTest, TheRepeatedHourIsRankedSortedAndComparedByInstant) {
    TTempTree tree;
    tree.File(L"early.txt", UtcFileTime(2026, 11, 1, 5, 50));
    tree.File(L"late.txt", UtcFileTime(2026, 11, 1, 6, 10));
    const std::wstring late = tree.Root() + L"late.txt\t2026-11-01T01:10:00.000",
                       early = tree.Root() + L"early.txt\t2026-11-01T01:50:00.000";
    std::wstring escaped;
    for (const wchar_t c : tree.Root())
        escaped += c == L'\\' ? L"\\\\" : std::wstring(1, c);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    // Back to 06:00Z; the program counts from a moment a little later, still before 06:10Z.
    const long long sinceSix = (FileTimeTicks(now) - FileTimeTicks(UtcFileTime(2026, 11, 1, 6))) / 10'000'000;
    const struct {
        std::vector<std::wstring> Arguments;
        std::vector<std::wstring> Lines;
    } cases[] = {
        {{L"--newest", L"1"}, {late}},
        {{L"--newest", L"5", L"--json"},
         {L"{\"path\":\"" + escaped +
              L"late.txt\",\"local\":\"2026-11-01T01:10:00.000-05:00\",\"utc\":\"2026-11-01T06:10:00.000Z\","
              L"\"size\":0}",
          L"{\"path\":\"" + escaped +
              L"early.txt\",\"local\":\"2026-11-01T01:50:00.000-04:00\",\"utc\":\"2026-11-01T05:50:00."
              L"000Z\",\"size\":0}"}},
        {{L"--after", L"2026-11-01 01:30"}, {late, early}},
        {{L"--after", L"2026-11-01 01:55"}, {late}},
        {{L"--within", std::to_wstring(sinceSix) + L"s"}, {late}},
    };
    for (const auto& c : cases) {
        std::vector<std::wstring> arguments = c.Arguments;
        arguments.push_back(tree.Root());
        const TResult result = RunComInZone("America/New_York", arguments);
        EXPECT_EQ(0, result.Exit) << c.Arguments.front();
        EXPECT_EQ(L"", result.Err) << c.Arguments.front();
        EXPECT_EQ(c.Lines, Lines(FromUtf8(result.Out))) << c.Arguments.front() << " " << c.Arguments[1];
    }
}

TEST(CommandLineTest, BadArgumentsAreRefusedEachWithItsOwnLineAndNothingIsScanned) {
    TTempTree tree;
    // Were it scanned, the missing folder would add a line of its own.
    const std::wstring missing = Arg(tree.Root() + L"missing");
    const std::wstring folderOut = tree.Folder(L"out");
    const std::wstring textFile = tree.File(L"a.txt", UtcFileTime(2024, 3, 1, 12));
    const std::wstring choices = L"--newest N, --after MOMENT, --within DURATION, --since WHEN or --changed";
    const auto badNumber = [](const std::wstring& text) {
        return L"quenwick: --newest needs a whole number from 0 to 2147483647, not \"" + text + L"\".";
    };
    const auto badMoment = [](const std::wstring& text) {
        return L"quenwick: --after needs a local date and time such as 2026-12-07, 2026-12-07T14:30 or "
               L"\"2026-12-07 14:30:15.250\", not \"" +
               text + L"\".";
    };
    const auto badDuration = [](const std::wstring& text) {
        return L"quenwick: --within needs a duration such as 90s, 15m, 2h or 3d, not \"" + text + L"\".";
    };
    const auto unknown = [](const std::wstring& text) {
        return L"quenwick: unknown switch \"" + text + L"\" (quenwick --help lists them).";
    };
    const std::wstring noSuchFolder = tree.Root() + L"no\\such\\x.txt";
    const std::wstring volume = L"\\\\?\\Volume{00000000-0000-0000-0000-000000000000}\\";
    const struct {
        std::wstring Arguments;
        std::wstring Line; // a line that ends with " - (" is followed by any system text and a code
    } cases[] = {
        {L"--no-subfolders " + missing, L"quenwick: say which files: " + choices + L"."},
        {L"--newest 5 --within 2h " + missing,
         L"quenwick: --within cannot go with --newest: give one of " + choices + L"."},
        {L"--after 2024-01-01 --after 2024-01-02 " + missing,
         L"quenwick: --after cannot go with --after: give one of " + choices + L"."},
        {L"--newest -1 " + missing, badNumber(L"-1")},
        {L"--newest 2147483648 " + missing, badNumber(L"2147483648")},
        {L"--newest 1e3 " + missing, badNumber(L"1e3")},
        {L"--newest", L"quenwick: --newest needs a value."},
        {L"--after 2024-02-30 " + missing, badMoment(L"2024-02-30")},
        {L"--after 2024-03-01T24:00 " + missing, badMoment(L"2024-03-01T24:00")},
        {L"--after 2024-03-01T12:30:15.2500 " + missing, badMoment(L"2024-03-01T12:30:15.2500")},
        {L"--within 2w " + missing, badDuration(L"2w")},
        {L"--within 15 " + missing, badDuration(L"15")},
        {L"--since tomorrow " + missing,
         L"quenwick: --since needs today, yesterday, last or a duration such as 90s, 15m, 2h or 3d, not "
         L"\"tomorrow\"."},
        {L"--since today --within 2h " + missing,
         L"quenwick: --within cannot go with --since: give one of " + choices + L"."},
        {L"--changed --within 2h " + missing,
         L"quenwick: --within cannot go with --changed: give one of " + choices + L"."},
        {L"--newest 5 --changed " + missing,
         L"quenwick: --changed cannot go with --newest: give one of " + choices + L"."},
        {L"--baseline b.qsnap --newest 5 " + missing,
         L"quenwick: --baseline goes with --changed: it names the snapshot the changes are counted from."},
        {L"--changed --baseline \"\" " + missing, L"quenwick: --baseline needs a file name."},
        {L"--newest 5 --recursive " + missing, unknown(L"--recursive")},
        {L"--newest 5 -n " + missing, unknown(L"-n")},
        {L"--no-subfolders=yes --newest 5 " + missing, L"quenwick: --no-subfolders takes no value."},
        {L"--newest 5", L"quenwick: the folder to scan is missing; it comes last."},
        {L"--newest 5 " + missing + L" --no-subfolders",
         L"quenwick: unexpected argument " + missing + L": the folder comes last, after the switches."},
        {L"--newest 5 --out a.txt --out b.txt " + missing, L"quenwick: --out is given twice."},
        {L"--newest 5 --out \"\" " + missing, L"quenwick: --out needs a file name."},
        {L"--newest 5 --skip \\ " + missing, L"quenwick: The folder pattern \"\\\" is no folder at all."},
        {L"--newest 5 --skip \"x, Temp<a\" " + missing,
         L"quenwick: The folder pattern \"Temp<a\" has \"<\", which no folder name can hold: write it as "
         L"\"Temp?a\"."},
        {L"--newest 5 --skip C:data " + missing,
         L"quenwick: The folder pattern \"C:data\" has \":\", which no folder name can hold: write it as "
         L"\"C:\\data\"."},
        {L"--newest 5 --skip \\\\server " + missing, L"quenwick: The folder pattern \"\\\\server\" is a "
                                                     L"server, not a folder: a folder on it is written as "
                                                     L"\"\\\\server\\share\\folder\"."},
        {L"--newest 5 --skip C:/ " + missing, L"quenwick: The folder pattern \"C:/\" is the root of a drive "
                                              L"or share, which is never left out: to leave "
                                              L"out every folder in it, write \"C:\\*\"."},
        {L"--newest 5 --skip \\\\srv\\\\share\\a\\ " + missing,
         L"quenwick: The folder pattern \"\\\\srv\\\\share\\a\\\" has an empty folder name between two "
         L"backslashes: write it as \"\\\\srv\\share\\a\"."},
        {L"--newest 5 --skip ..\\x " + missing,
         L"quenwick: The folder pattern \"..\\x\" has \".\" or \"..\", which is no folder's name: write the "
         L"folders from the root folder down, as in \"x\"."},
        {L"--newest 5 --skip *cache\\data " + missing,
         L"quenwick: The folder pattern \"*cache\\data\" is a path from the top of a drive, and \"*cache\" "
         L"can be "
         L"no drive's name: at any depth it is written as \"**\\*cache\\data\"."},
        {L"--newest 5 --name a\\b " + missing, L"quenwick: The name mask \"a\\b\" has \"\\\", which no file "
                                               L"name can hold: a mask is a name alone, as "
                                               L"in \"b\"."},
        {L"--newest 5 --name \"*.doc|*.xls\" " + missing,
         L"quenwick: The name mask \"*.doc|*.xls\" has \"|\", which no file name can hold: write it as "
         L"\"*.doc;*.xls\"."},
        {L"--newest 5 --time newest " + missing,
         L"quenwick: --time needs modified, created or either, not \"newest\"."},
        {L"-0 --newest 5 --json " + missing, L"quenwick: --json cannot go with -0: the lines have one form."},
        // A folder that is not there or is a file, and a file that cannot be written, are refused
        // before the scan.
        {L"--newest 5 " + missing, L"quenwick: " + Quoted(tree.Root() + L"missing") + L" does not exist."},
        {L"--newest 5 " + Arg(L"\\\\?\\" + tree.Root() + L"missing"),
         L"quenwick: " + Quoted(tree.Root() + L"missing") + L" does not exist."},
        // Whatever its form: \\?\ taken exactly, \\.\ resolved, a volume's path kept.
        {L"--newest 5 " + Arg(L"\\\\?\\" + tree.Root() + L"missing. "),
         L"quenwick: " + Quoted(tree.Root() + L"missing. ") + L" does not exist."},
        {L"--newest 5 " + Arg(L"\\\\.\\" + tree.Root() + L"x\\..\\missing"),
         L"quenwick: " + Quoted(tree.Root() + L"missing") + L" does not exist."},
        {L"--newest 5 " + Arg(volume), L"quenwick: " + Quoted(volume) + L" does not exist."},
        {L"--newest 5 " + Arg(volume + L"data"),
         L"quenwick: " + Quoted(volume + L"data") + L" does not exist."},
        {L"--newest 5 " + Arg(textFile), L"quenwick: " + Quoted(textFile) + L" is a file, not a folder."},
        {L"--newest 5 --out " + Arg(folderOut) + L" " + Arg(tree.Root()),
         L"quenwick: cannot write " + Quoted(folderOut) + L" - ("},
        {L"--newest 5 --out " + Arg(noSuchFolder) + L" " + Arg(tree.Root()),
         L"quenwick: cannot write " + Quoted(noSuchFolder) + L" - ("},
    };
    for (const auto& c : cases) {
        const TResult result = RunExe(c.Arguments);
        EXPECT_EQ(2, result.Exit) << c.Arguments;
        EXPECT_EQ("", result.Out) << c.Arguments;
        const auto lines = Lines(result.Err);
        ASSERT_EQ(1u, lines.size()) << c.Arguments << "\n" << result.Err;
        if (c.Line.ends_with(L" - (")) {
            const std::wstring head = c.Line.substr(0, c.Line.size() - 1);
            EXPECT_TRUE(lines[0].starts_with(head) && lines[0].ends_with(L")")) << lines[0];
        } else {
            EXPECT_EQ(c.Line, lines[0]);
        }
    }
}

// A write that fails is never a success: a reader that went away ends the run quietly with 141, any
// other failure with the system's reason on standard error while that works and 1. Standard error
// that fails ends the scan with no rows at all (the loop below gives its first line).
TEST(CommandLineTest, AFailedWriteEndsTheRunWithItsOwnCode) {
    TTempTree tree;
    tree.Folder(L"sub");
    for (const TDatedFile& file : DatedFiles)
        tree.File(file.Name, FileTimeOfLocal(file.Time));
    tree.Link(L"sub\\loop", "..");
    const std::wstring all = L"--newest 5 " + Arg(tree.Root()), top = L"--no-subfolders " + all;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE reader = nullptr, gone = nullptr;
    ASSERT_TRUE(CreatePipe(&reader, &gone, &inherit, 0));
    CloseHandle(reader); // before the start, or the program would hold it too
    const std::wstring readOnlyPath = TempName(L"ro");
    HANDLE readOnly =
        CreateFileW(readOnlyPath.c_str(), GENERIC_READ, share, &inherit, OPEN_EXISTING, 0, nullptr);
    // Under Wine the full device is at hand, and gives the disk-full error of a full disk.
    HANDLE full =
        CreateFileW(L"\\\\?\\Z:\\dev\\full", GENERIC_WRITE, share, &inherit, OPEN_EXISTING, 0, nullptr);
    const std::wstring cannot = L"quenwick: cannot write standard output - ";
    struct TCase {
        std::wstring Arguments;
        HANDLE Out, Err;
        long Exit;
        std::wstring Line, Ending; // the one line on standard error: its start and end
    };
    std::vector<TCase> cases = {
        {top, gone, nullptr, 141, L"", L""},       {L"--help", gone, nullptr, 141, L"", L""},
        {top, readOnly, nullptr, 1, cannot, L")"}, {L"--version", readOnly, nullptr, 1, cannot, L")"},
        {all, nullptr, gone, 141, L"", L""},       {all, nullptr, readOnly, 1, L"", L""},
    };
    if (full != INVALID_HANDLE_VALUE)
        cases.push_back({top, full, nullptr, 1, cannot, L"(112)"});
    for (const TCase& c : cases) {
        const TResult result = RunProgram(QUENWICK_COM, c.Arguments, 120000, c.Out, c.Err);
        const std::wstring what = c.Arguments + (c.Out == full ? L" > full" : c.Out ? L" > bad" : L" 2> bad");
        EXPECT_EQ(c.Exit, result.Exit) << what;
        EXPECT_EQ("", result.Out) << what;
        const auto lines = Lines(result.Err);
        if (c.Line.empty()) {
            EXPECT_TRUE(lines.empty()) << what << "\n" << result.Err;
        } else {
            ASSERT_EQ(1u, lines.size()) << what << "\n" << result.Err;
            EXPECT_TRUE(lines[0].starts_with(c.Line) && lines[0].ends_with(c.Ending)) << lines[0];
        }
    }
    CloseHandle(gone);
    CloseHandle(readOnly);
    if (full != INVALID_HANDLE_VALUE)
        CloseHandle(full);
    DeleteFileW(readOnlyPath.c_str());
}

TEST(CommandLineTest, HelpAndVersionComeFromTheProgramItself) {
    const std::wstring exe = QUENWICK_EXE;
    DWORD ignored = 0;
    std::vector<char> data(GetFileVersionInfoSizeW(exe.c_str(), &ignored));
    ASSERT_FALSE(data.empty());
    ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, static_cast<DWORD>(data.size()), data.data()));
    VS_FIXEDFILEINFO* info = nullptr;
    UINT size = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &size));
    const std::wstring version = std::to_wstring(HIWORD(info->dwFileVersionMS)) + L"." +
                                 std::to_wstring(LOWORD(info->dwFileVersionMS)) + L"." +
                                 std::to_wstring(HIWORD(info->dwFileVersionLS)) + L"." +
                                 std::to_wstring(LOWORD(info->dwFileVersionLS));
    const TResult shown = RunExe(L"--version");
    EXPECT_EQ(0, shown.Exit);
    EXPECT_EQ(L"Quenwick " + version + L"\r\n", FromUtf8(shown.Out));
    const TResult help = RunExe(L"--help");
    EXPECT_EQ(0, help.Exit);
    const std::wstring text = FromUtf8(help.Out);
    EXPECT_TRUE(text.starts_with(L"Usage: quenwick")) << text;
    for (const wchar_t* word : {L"--newest N", L"--after MOMENT", L"--within DURATION", L"--since WHEN",
                                L"--changed", L"--baseline FILE", L"--no-subfolders", L"--out FILE"})
        EXPECT_NE(std::wstring::npos, text.find(word)) << word;
}

WORD Subsystem(const wchar_t* exe) {
    const std::string image = ReadBytes(exe);
    if (image.size() < 0x40)
        return 0;
    const DWORD pe = *reinterpret_cast<const DWORD*>(image.data() + 0x3C);
    // Signature, file header, then the optional header's Subsystem field.
    const size_t at = pe + 4 + sizeof(IMAGE_FILE_HEADER) + offsetof(IMAGE_OPTIONAL_HEADER64, Subsystem);
    return at + 2 <= image.size() ? *reinterpret_cast<const WORD*>(image.data() + at) : 0;
}

TEST(CommandLineTest, TheConsoleProgramScansAlikeAndOpensTheWindowWithoutSwitches) {
    // The console subsystem is what makes a shell wait and hand over its console.
    EXPECT_EQ(IMAGE_SUBSYSTEM_WINDOWS_CUI, Subsystem(QUENWICK_COM));
    EXPECT_EQ(IMAGE_SUBSYSTEM_WINDOWS_GUI, Subsystem(QUENWICK_EXE));

    TTempTree tree;
    tree.Folder(L"sub");
    for (const TDatedFile& file : DatedFiles)
        tree.File(file.Name, FileTimeOfLocal(file.Time));
    tree.Link(L"sub\\loop", "..");
    for (const std::wstring arguments :
         {L"--newest 3 ", L"--within 100000d --no-subfolders ", L"--newest x "}) {
        const TResult exe = RunExe(arguments + Arg(tree.Root()));
        const TResult com = RunProgram(QUENWICK_COM, arguments + Arg(tree.Root()));
        EXPECT_EQ(exe.Exit, com.Exit) << arguments;
        EXPECT_EQ(exe.Out, com.Out) << arguments;
        EXPECT_EQ(exe.Err, com.Err) << arguments;
        EXPECT_FALSE(com.Out.empty() && com.Err.empty()) << arguments;
    }

    // Without switches it opens the window with the folder and ends at once.
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Dovrel");
    const TResult opened = RunProgram(QUENWICK_COM, Arg(tree.Root()), 30000);
    EXPECT_EQ(0, opened.Exit);
    const HWND window = reliability::TProgram::OtherProcessWindow(L"Quenwick", 30000);
    ASSERT_TRUE(window) << "no window appeared";
    EXPECT_TRUE(reliability::TProgram::Child(window, tree.Root().c_str()))
        << "the folder is not in the window";
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, processId);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process, 30000)) << "the window did not close";
    CloseHandle(process);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Dovrel");
}

// A tree with ties across folders, a name outside the code page, a folder link loop and a file
// past 260 characters.
struct TComparedTree {
    TTempTree Tree;
    std::vector<std::wstring> Logged; // the folders that cannot be listed

    TComparedTree() {
        const FILETIME t0 = UtcFileTime(2024, 3, 1, 12), before = UtcFileTime(2024, 3, 1, 11, 59, 59),
                       after1 = UtcFileTime(2024, 3, 1, 12, 0, 1),
                       after2 = UtcFileTime(2024, 3, 1, 12, 0, 2, 500);
        Tree.File(L"t.txt", t0);
        for (const wchar_t* folder : {L"one", L"two", L"three"}) {
            Tree.Folder(folder);
            Tree.File(std::wstring(folder) + L"\\t.txt", t0);
        }
        Tree.File(L"one\\newer.txt", after1);
        Tree.File(L"two\\\U0001F600 smile.txt", after2);
        Tree.File(L"two\\a,b.txt", before, 0, 1023);
        Tree.Folder(L"loop");
        Tree.Link(L"loop\\self", ".");
        const std::wstring a(120, L'a'), b(120, L'b');
        Tree.Folder(a);
        Tree.File(a + L"\\in-a.txt", after1, 0, (1ull << 32) + 1);
        Tree.Folder(a + L"\\" + b);
        Tree.File(a + L"\\" + b + L"\\" + std::wstring(60, L'c') + L".txt", before);
        Logged = {Tree.Root() + L"loop\\self\\"};
    }
};

using CommandLineWindowTest = WindowTest;

TEST_F(CommandLineWindowTest, TheLinesAreTheWindowsRowsInOrderAndTheLogIsOnStandardError) {
    TComparedTree compared;
    const std::wstring root = compared.Tree.Root();
    TDateTime before = 0;
    SYSTEMTIME local;
    const FILETIME t0 = UtcFileTime(2024, 3, 1, 12);
    FILETIME localTime;
    FileTimeToLocalFileTime(&t0, &localTime);
    FileTimeToSystemTime(&localTime, &local);
    TryEncodeDateTime(local, before);
    const std::wstring moment = Iso(local).substr(0, 19); // the moment of the ties, to the second
    const struct {
        std::wstring Switches;
        int Number; // the number mode's N, or -1 for the date mode at the ties' moment
        bool Recursive;
        size_t Rows;
    } cases[] = {
        {L"--newest 3", 3, true, 3},
        {L"--newest 4", 4, true, 4},
        {L"--newest 32767", 32767, true, 9},
        {L"--newest 0", 0, true, 0},
        {L"--no-subfolders --newest 5", 5, false, 1},
        {L"--after " + moment, -1, true, 3},
        {L"--after " + moment + L" --no-subfolders", -1, false, 0},
    };
    for (const auto& c : cases) {
        form->RecurseBox.SetChecked(c.Recursive);
        logs.clear();
        if (c.Number >= 0)
            Start(root, c.Number);
        else
            StartByDate(root, before);
        ASSERT_TRUE(Ends(60000)) << c.Switches;
        std::vector<std::wstring> rows;
        for (const TRow& row : Rows())
            rows.push_back(row.Path + L"\t" + Iso(DecodeDateTime(row.Time)));
        const std::wstring logText = logs.empty() ? L"" : logs.front() + L"\r\n";

        const TResult result = RunExe(c.Switches + L" " + Arg(root));
        EXPECT_EQ(rows, Lines(FromUtf8(result.Out))) << c.Switches;
        EXPECT_EQ(c.Rows, rows.size()) << c.Switches;
        EXPECT_EQ(logText, result.Err) << c.Switches;
        EXPECT_EQ(c.Recursive ? 1 : 0, result.Exit) << c.Switches;
        // The window's rows saved are the bytes of the console's file, in either format.
        for (const auto& [format, switches] :
             {std::pair{TOutputFormat::Csv, L"--out "}, std::pair{TOutputFormat::Json, L"--json --out "}}) {
            const std::wstring saved = TempName(L"win"), console = TempName(L"con");
            const std::wstring written = console + (format == TOutputFormat::Csv ? L".csv" : L".json");
            form->ChooseSaveFile = [&, format = format](HWND, std::wstring& path, TOutputFormat& chosen) {
                path = saved;
                chosen = format;
                return true;
            };
            EXPECT_EQ(!rows.empty(), form->SaveResultsAction.Execute()) << c.Switches;
            RunExe(switches + Arg(written) + L" " + c.Switches + L" " + Arg(root));
            EXPECT_EQ(rows.empty() ? "" : ReadBytes(written), ReadBytes(saved)) << c.Switches << switches;
            for (const std::wstring& file : {saved, console, written})
                DeleteFileW(file.c_str());
        }
    }
    // The loop once, with its code.
    EXPECT_EQ(std::vector<std::wstring>{LogLine(compared.Logged[0], ERROR_CANT_RESOLVE_FILENAME)},
              Lines(RunExe(L"--newest 1 " + Arg(root)).Err));
}

TEST_F(CommandLineWindowTest, NamesBeyondTheCodePageComeOutWholeInTheWindowsOrder) {
    const std::wstring root = reliability::LinuxTree("names");
    Start(root, 100);
    ASSERT_TRUE(Ends(20000));
    std::vector<std::wstring> rows;
    for (const TRow& row : Rows())
        rows.push_back(row.Path + L"\t" + Iso(DecodeDateTime(row.Time)));
    ASSERT_EQ(18u, rows.size());
    const TResult result = RunExe(L"--newest 100 " + Arg(root));
    EXPECT_EQ(0, result.Exit);
    EXPECT_EQ(rows, Lines(FromUtf8(result.Out)));
}

// --since last after the window's scan of the same root, and --since today, on files whose times
// sit on and beside those instants: exactly the files after them, newest first. The console's own
// completed scan is the next last one; a folder never scanned has none.
TEST_F(CommandLineWindowTest, SinceLastAndTodayTakeTheFilesChangedAfterThoseInstants) {
    TTempTree tree;
    const std::wstring never = tree.Root() + L"never";
    tree.Folder(L"never");
    const std::wstring root = tree.Root();
    const std::int64_t started = NowUtc();
    Start(root);
    ASSERT_TRUE(Ends());
    const std::optional<std::int64_t> last = LastScanStart(RootPathFromText(root));
    ASSERT_TRUE(last);
    ASSERT_LE(started, *last);
    // Typed otherwise, the same root.
    std::wstring typed = root.substr(0, root.size() - 1);
    std::replace(typed.begin(), typed.end(), L'\\', L'/');
    const std::int64_t ms = 10'000;
    const auto midnight = [] { return UtcTicks(std::floor(LocalValue(FileTimeOfTicks(NowUtc())))); };
    const auto names = [&](const TResult& result) {
        std::vector<std::wstring> found;
        for (const std::wstring& line : Lines(FromUtf8(result.Out)))
            found.push_back(line.substr(root.size(), line.find(L'\t') - root.size()));
        return found;
    };
    for (const auto& [name, time] :
         {std::pair{L"last-1", *last - ms}, {L"last", *last}, {L"last+1", *last + ms}})
        tree.File(name, FileTimeOfTicks(time));
    const TResult sinceLast = RunExe(L"--since=last " + Arg(typed));
    EXPECT_EQ(0, sinceLast.Exit);
    EXPECT_EQ(L"", sinceLast.Err);
    EXPECT_EQ(std::vector<std::wstring>{L"last+1"}, names(sinceLast));
    // Run again should the day change on the way.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const std::int64_t today = midnight();
        for (const auto& [name, time] :
             {std::pair{L"midnight-1", today - ms}, {L"midnight", today}, {L"midnight+1", today + ms}})
            tree.File(name, FileTimeOfTicks(time));
        const TResult sinceToday = RunExe(L"--since today " + Arg(typed));
        if (midnight() != today)
            continue;
        EXPECT_EQ(0, sinceToday.Exit);
        EXPECT_EQ((std::vector<std::wstring>{L"last+1", L"last", L"last-1", L"midnight+1"}),
                  names(sinceToday));
        break;
    }
    // The console's scans ran to their ends: the last of them is the folder's last scan now.
    const std::int64_t console = LastScanStart(RootPathFromText(root)).value_or(0);
    EXPECT_LT(*last, console);
    tree.File(L"last", FileTimeOfTicks(console + ms));
    EXPECT_EQ(std::vector<std::wstring>{L"last"}, names(RunExe(L"--since LAST " + Arg(root))));

    const TResult none = RunExe(L"--since last " + Arg(never));
    EXPECT_EQ(2, none.Exit);
    EXPECT_EQ("", none.Out);
    EXPECT_EQ(L"quenwick: --since last needs a completed scan of " + Quoted(never) +
                  L"; none is remembered.\r\n",
              none.Err);
}

} // namespace
