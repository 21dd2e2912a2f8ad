#pragma once
// A file replaced whole or not at all: the bytes go to a new file beside it, which then takes its
// place in one move, so that a write that fails (a full disk, no access) leaves the file that was
// there as it was.
#include <windows.h>
#include <functional>
#include <string>
#include <string_view>

// The steps of the write, for a test that makes one of them fail as a full disk or a lost volume
// would: the fault gives the system's code to fail the step with, or 0 to run it.
enum class TWholeFileStep { Create, Write, Flush, Move };
using TWholeFileFault = std::function<DWORD(TWholeFileStep)>;
// How the new file's name begins: one left by a program that ended while writing can be told.
inline constexpr wchar_t WholeFileTemporaryPrefix[] = L"~quenwick-";

class TWholeFile {
  public:
    // path: as the system takes it (with \\?\ where it is long). The new file is made at once;
    // Error() tells when it could not be.
    explicit TWholeFile(std::wstring path, TWholeFileFault fault = {});
    // A new file not moved into place is deleted.
    ~TWholeFile();
    TWholeFile(const TWholeFile&) = delete;
    TWholeFile& operator=(const TWholeFile&) = delete;

    // Nothing is written after a failure.
    bool Write(std::string_view bytes);
    // Moves the new file over the path; false when this or anything before it failed.
    bool Commit();
    // 0, or the system's code of the first failure.
    DWORD Error() const { return error_; }

  private:
    void Fail(DWORD error);
    void Close();
    DWORD Injected(TWholeFileStep step) const { return fault_ ? fault_(step) : 0; }

    std::wstring path_, temporary_;
    TWholeFileFault fault_;
    HANDLE file_ = INVALID_HANDLE_VALUE;
    DWORD error_ = 0;
    bool committed_ = false;
};
