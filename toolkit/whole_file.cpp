#include "toolkit/whole_file.h"

TWholeFile::TWholeFile(std::wstring path, TWholeFileFault fault)
    : path_(std::move(path)), fault_(std::move(fault)) {
    if (const DWORD error = Injected(TWholeFileStep::Create)) {
        Fail(error);
        return;
    }
    // In the same folder, so that the move is a rename on one volume; a name of its own, not the
    // target's with a suffix, which could pass the length a name may have.
    const std::wstring folder = path_.substr(0, path_.find_last_of(L"\\/") + 1);
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        temporary_ = folder + WholeFileTemporaryPrefix + std::to_wstring(GetCurrentProcessId()) + L"-" +
                     std::to_wstring(GetTickCount64() % 100000 + attempt) + L".tmp";
        file_ = CreateFileW(temporary_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
        if (file_ != INVALID_HANDLE_VALUE) {
            return;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            temporary_.clear();
            Fail(error);
            return;
        }
    }
    temporary_.clear();
    Fail(ERROR_FILE_EXISTS);
}

TWholeFile::~TWholeFile() {
    Close();
    if (!committed_ && !temporary_.empty()) {
        DeleteFileW(temporary_.c_str());
    }
}

void TWholeFile::Fail(DWORD error) {
    if (error_ == 0) {
        // A call that failed without a code still failed.
        error_ = error ? error : ERROR_WRITE_FAULT;
    }
}

void TWholeFile::Close() {
    if (file_ != INVALID_HANDLE_VALUE) {
        CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
    }
}

bool TWholeFile::Write(std::string_view bytes) {
    while (error_ == 0 && !bytes.empty()) {
        DWORD done = 0;
        const DWORD chunk = bytes.size() < (1u << 24) ? static_cast<DWORD>(bytes.size()) : (1u << 24);
        if (const DWORD error = Injected(TWholeFileStep::Write)) {
            Fail(error);
        } else if (!WriteFile(file_, bytes.data(), chunk, &done, nullptr)) {
            Fail(GetLastError());
        } else if (done == 0) {
            Fail(ERROR_WRITE_FAULT);
        }
        bytes.remove_prefix(done);
    }
    return error_ == 0;
}

bool TWholeFile::Commit() {
    // On the disk before it takes the old file's place: a crash then leaves one or the other whole.
    if (error_ == 0) {
        if (const DWORD error = Injected(TWholeFileStep::Flush)) {
            Fail(error);
        } else if (!FlushFileBuffers(file_)) {
            Fail(GetLastError());
        }
    }
    Close();
    if (error_ == 0) {
        if (const DWORD error = Injected(TWholeFileStep::Move)) {
            Fail(error);
        } else if (!MoveFileExW(temporary_.c_str(), path_.c_str(),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            Fail(GetLastError());
        }
    }
    committed_ = error_ == 0;
    return committed_;
}
