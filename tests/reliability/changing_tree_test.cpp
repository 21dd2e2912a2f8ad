// Trees that change or resist while they are scanned: a folder deleted mid-listing, files appearing
// and vanishing, a folder held open without sharing, folders that cannot be read.
#include "reliability_support.h"
#include "scan/sys_error.h"
#include <algorithm>
#include <atomic>
#include <mutex>
#include <set>
#include <thread>

namespace reliability {
namespace {

// The system's listing, with a hook that runs before each entry after the first, on the thread
// that lists (the walk's or a lister's).
class THookedListing final : public IListing {
  public:
    std::function<void(const std::wstring& pattern, int entry)> BeforeNext;

    TListingHandle Open(const std::wstring& pattern, TListingEntry& entry, DWORD& error) override {
        TListingHandle handle = inner_->Open(pattern, entry, error);
        if (handle) {
            std::lock_guard lock(mutex_);
            patterns_[handle] = {pattern, 0};
        }
        return handle;
    }
    bool Next(TListingHandle listing, TListingEntry& entry, DWORD& error) override {
        std::wstring pattern;
        int count = 0;
        {
            std::lock_guard lock(mutex_);
            auto& listed = patterns_[listing];
            pattern = listed.first;
            count = ++listed.second;
        }
        if (BeforeNext) {
            BeforeNext(pattern, count);
        }
        return inner_->Next(listing, entry, error);
    }
    void Close(TListingHandle listing) override {
        {
            std::lock_guard lock(mutex_);
            patterns_.erase(listing);
        }
        inner_->Close(listing);
    }
    bool Identity(const std::wstring& folder, TFolderIdentity& identity) override {
        return inner_->Identity(folder, identity);
    }
    bool Volume(const std::wstring& folder, TVolumeIdentity& volume) override {
        return inner_->Volume(folder, volume);
    }

  private:
    std::unique_ptr<IListing> inner_ = CreateSystemListing();
    std::mutex mutex_;
    std::map<TListingHandle, std::pair<std::wstring, int>> patterns_;
};

// Another program removes the folder: under Wine a Linux one, which no Windows sharing rule stops.
// A Unix process started from Wine cannot be waited for: wait until the folder is gone.
bool RemoveFromOutside(const std::string& unixPath, const std::wstring& folder) {
    std::string command = "/bin/rm -rf \"" + unixPath + "\"";
    STARTUPINFOA startup{sizeof startup};
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int i = 0; i < 500 && GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(10);
    return GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES;
}

using ChangingTreeTest = WindowTest;

TEST_F(ChangingTreeTest, AFolderDeletedWhileItIsListedLosesNothingElseAndWhatWasGoneIsLogged) {
    TTempTree tree;
    const FILETIME time = UtcFileTime(2024, 3, 1, 12);
    std::vector<std::wstring> kept;
    for (int i = 0; i < 20; ++i)
        kept.push_back(tree.File(L"keep" + std::to_wstring(i) + L".txt", time));
    tree.Folder(L"doomed");
    for (int i = 0; i < 3; ++i) {
        tree.Folder(L"doomed\\sub" + std::to_wstring(i));
        tree.File(L"doomed\\sub" + std::to_wstring(i) + L"\\f.txt", time);
    }
    for (int i = 0; i < 40; ++i)
        tree.File(L"doomed\\f" + std::to_wstring(i) + L".txt", time);
    const std::wstring doomed = tree.Root() + L"doomed\\";
    std::atomic<bool> deleted{false};
    form->PrepareJob = [&](TWorkThread& job) {
        auto listing = std::make_unique<THookedListing>();
        listing->BeforeNext = [&](const std::wstring& pattern, int entry) {
            if (pattern == doomed + L"*.*" && entry == 3 && !deleted) {
                deleted = RemoveFromOutside(tree.UnixPath(L"doomed"), doomed);
            }
        };
        job.Listing = std::move(listing);
    };
    Start(tree.Root(), 32767);
    ASSERT_TRUE(Ends(30000)) << "the walk did not end";
    ASSERT_TRUE(deleted) << "the folder was not deleted during its listing";

    const auto paths = Paths();
    const std::set<std::wstring> shown(paths.begin(), paths.end());
    for (const std::wstring& path : kept)
        EXPECT_TRUE(shown.count(path)) << "lost: " << testing::PrintToString(path);
    EXPECT_GE(ReportedCount(), static_cast<long long>(kept.size()));
    // A subfolder of the deleted folder is either listed whole, or named in the log.
    const std::wstring log = logs.empty() ? L"" : logs[0];
    for (int i = 0; i < 3; ++i) {
        const std::wstring sub = doomed + L"sub" + std::to_wstring(i) + L"\\";
        const bool listed = shown.count(sub + L"f.txt") != 0;
        const bool logged = log.find(sub + L" - ") != std::wstring::npos;
        EXPECT_TRUE(listed || logged) << "silently lost: " << testing::PrintToString(sub);
    }
    for (const std::wstring& path : paths)
        EXPECT_TRUE(path.rfind(tree.Root(), 0) == 0);
}

TEST_F(ChangingTreeTest, FilesAppearingAndVanishingDuringTheScanLoseNoneOfTheOthers) {
    TTempTree tree;
    std::vector<std::wstring> stable;
    for (int f = 0; f < 40; ++f) {
        const std::wstring folder = L"f" + std::to_wstring(f);
        tree.Folder(folder);
        for (int i = 0; i < 25; ++i)
            stable.push_back(
                tree.File(folder + L"\\s" + std::to_wstring(i) + L".txt", UtcFileTime(2024, 3, 1, 12, f, i)));
    }
    // Another thread keeps making and deleting files in every folder while the walk lists them.
    std::atomic<bool> scanning{true};
    std::atomic<int> churned{0};
    std::thread churn([&] {
        for (int n = 0; scanning; ++n) {
            const std::wstring path =
                tree.Root() + L"f" + std::to_wstring(n % 40) + L"\\v" + std::to_wstring(n % 7) + L".tmp";
            HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                      nullptr, CREATE_ALWAYS, 0, nullptr);
            if (file != INVALID_HANDLE_VALUE)
                CloseHandle(file);
            DeleteFileW((tree.Root() + L"f" + std::to_wstring((n + 20) % 40) + L"\\v" +
                         std::to_wstring(n % 7) + L".tmp")
                            .c_str());
            ++churned;
        }
    });
    // The walk passes each entry slowly enough for the churn to overlap every folder.
    form->PrepareJob = [](TWorkThread& job) {
        auto listing = std::make_unique<THookedListing>();
        listing->BeforeNext = [](const std::wstring&, int) { Sleep(1); };
        job.Listing = std::move(listing);
    };
    Start(tree.Root(), 32767);
    const bool ended = Ends(60000);
    scanning = false;
    churn.join();
    ASSERT_TRUE(ended) << "the walk did not end";
    EXPECT_GT(churned.load(), 100);
    const auto paths = Paths();
    const std::set<std::wstring> shown(paths.begin(), paths.end());
    for (const std::wstring& path : stable)
        EXPECT_TRUE(shown.count(path)) << "lost: " << testing::PrintToString(path);
    EXPECT_GE(ReportedCount(), static_cast<long long>(stable.size()));
    EXPECT_TRUE(logs.empty()) << testing::PrintToString(logs.empty() ? L"" : logs[0]);
}

TEST_F(ChangingTreeTest, AFolderHeldOpenWithoutSharingIsListedOrLogged) {
    TTempTree tree;
    const FILETIME time = UtcFileTime(2024, 3, 1, 12);
    const std::wstring free = tree.File(L"free.txt", time);
    tree.Folder(L"held");
    const std::wstring inside = tree.File(L"held\\inside.txt", time);
    HANDLE held = CreateFileW((tree.Root() + L"held").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    Start(tree.Root(), 100);
    const bool ended = Ends(20000);
    CloseHandle(held);
    ASSERT_TRUE(ended);
    const auto paths = Paths();
    EXPECT_NE(paths.end(), std::find(paths.begin(), paths.end(), free));
    const bool listed = std::find(paths.begin(), paths.end(), inside) != paths.end();
    const auto shared = LogLinesWithCode(ERROR_SHARING_VIOLATION);
    if (listed) {
        EXPECT_TRUE(logs.empty());
    } else {
        EXPECT_EQ(std::vector<std::wstring>{LogLine(tree.Root() + L"held\\", ERROR_SHARING_VIOLATION)},
                  shared);
    }
}

TEST_F(ChangingTreeTest, FoldersThatCannotBeReadAreLoggedAndTheRestIsListed) {
    const std::wstring root = L"C:\\locked\\";
    form->PrepareJob = [&](TWorkThread& job) {
        auto listing = std::make_unique<TFakeListing>(root);
        listing->AddFile(root + L"open\\a.txt", UtcFileTime(2024, 3, 1, 12));
        listing->AddFile(root + L"denied\\b.txt", UtcFileTime(2024, 3, 1, 13));
        listing->AddFile(root + L"half\\c.txt", UtcFileTime(2024, 3, 1, 14));
        listing->AddFile(root + L"half\\d.txt", UtcFileTime(2024, 3, 1, 15));
        listing->AddFile(root + L"z.txt", UtcFileTime(2024, 3, 1, 16));
        listing->Folder(root + L"denied\\").OpenError = ERROR_ACCESS_DENIED;
        // "half" fails after ".", ".." and c.txt.
        listing->Folder(root + L"half\\").FailAfter = 3;
        listing->Folder(root + L"half\\").FailCode = ERROR_ACCESS_DENIED;
        job.Listing = std::move(listing);
    };
    Start(root, 100);
    ASSERT_TRUE(Ends(20000));
    EXPECT_EQ((std::vector<std::wstring>{root + L"z.txt", root + L"half\\c.txt", root + L"open\\a.txt"}),
              Paths());
    EXPECT_EQ(3, ReportedCount());
    auto denied = LogLinesWithCode(ERROR_ACCESS_DENIED);
    std::sort(denied.begin(), denied.end());
    EXPECT_EQ((std::vector<std::wstring>{LogLine(root + L"denied\\", 5), LogLine(root + L"half\\", 5)}),
              denied);
}

} // namespace
} // namespace reliability
