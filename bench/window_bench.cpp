// The real window: from Start until the completion report is in the status bar and the sorted list
// is painted; with --operations, then the row operations on what the scan left; with
// --sort-name-at K, the "File" header is clicked once the list holds K rows, so that the ranking's
// deletions after it meet a sorted list.
#include <cstdlib>
#include <string>

#include "bench_support.h"
#include "toolkit/application.h"
#include "toolkit/file_data.h"
#include "ui/main_form.h"

namespace {

// Paints whatever is waiting to be painted, at once.
void PaintNow(HWND window) {
    RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

// Times one operation on the user-interface thread, its repaint included, and how long a message
// sent meanwhile waited for its answer.
template <typename Operation>
std::string TimeOperation(const char* name, TMainForm& form, Operation operation) {
    TReplyWatcher watcher(form.Handle());
    Sleep(20); // let the watcher's first message be answered before the thread gets busy
    Application.ProcessMessages();
    const double start = Seconds();
    operation();
    PaintNow(form.Handle());
    const double seconds = Seconds() - start;
    Application.ProcessMessages();
    const double replyMs = watcher.Stop();
    return std::string(" ") + name + "_seconds=" + std::to_string(seconds) + " " + name +
           "_reply_ms=" + std::to_string(replyMs);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) {
        std::fprintf(
            stderr,
            "usage: bench_window ROOT\\ number N | date UNIX_SECONDS [--operations] [--sort-name-at K]\n");
        return 2;
    }
    const std::wstring mode = argv[2];
    const long long value = std::wcstoll(argv[3], nullptr, 10);
    bool operations = false;
    int sortNameAt = -1;
    for (int i = 4; i < argc; ++i) {
        const std::wstring option = argv[i];
        if (option == L"--operations") {
            operations = true;
        } else if (option == L"--sort-name-at" && i + 1 < argc) {
            sortNameAt = static_cast<int>(std::wcstol(argv[++i], nullptr, 10));
        }
    }

    Application.Initialize();
    Application.SetTitle(L"Quenwick");
    TMainForm form({argv[1]});
    form.Show();
    form.RecurseBox.SetChecked(true);
    if (mode == L"date") {
        SYSTEMTIME moment{};
        LocalValueOfUnixTime(value, &moment);
        form.LatestRadioButton.SetChecked(true);
        form.NumberRadioButton.SetChecked(false);
        form.LatestDate.SetDateTime(moment);
        form.LatestTime.SetDateTime(moment);
    } else {
        form.NumberRadioButton.SetChecked(true);
        form.LatestRadioButton.SetChecked(false);
        form.NumberSpin.SetPosition(static_cast<int>(value));
    }
    form.RadioButtonClick();
    Application.ProcessMessages();
    PaintNow(form.Handle());

    const std::wstring completion = L"Successfully processed ";
    TReplyWatcher watcher(form.Handle());
    Sleep(20);
    Application.ProcessMessages();
    const double start = Seconds();
    form.StartActionExecute();
    Application.HandleMessages([&] {
        if (sortNameAt >= 0 && form.HasJob() && form.Results->RowCount() >= sortNameAt) {
            sortNameAt = -1;
            form.ListViewColumnClick(0);
        }
        return !form.HasJob() && form.StatusBar.Text().compare(0, completion.size(), completion) == 0;
    });
    PaintNow(form.Handle());
    const double seconds = Seconds() - start;
    Application.ProcessMessages();
    const double replyMs = watcher.Stop();

    // The report must be what a user would have seen: every file counted, the rows newest first.
    const int rows = form.Results->RowCount();
    bool newestFirst = true;
    for (int i = 1; i < rows && newestFirst; ++i) {
        newestFirst = form.Results->Row(i - 1).Utc >= form.Results->Row(i).Utc;
    }
    const int shown = static_cast<int>(SendMessageW(form.ListView.Handle(), LVM_GETITEMCOUNT, 0, 0));
    std::string line = "seconds=" + std::to_string(seconds) + " rows=" + std::to_string(rows) +
                       " shown=" + std::to_string(shown) + " sorted=" + (newestFirst ? "yes" : "no") +
                       " reply_ms=" + std::to_string(replyMs);
    std::wstring status = form.StatusBar.Text();
    const std::wstring count =
        status.substr(completion.size(), status.find(L' ', completion.size()) - completion.size());
    line += " files=" + std::string(count.begin(), count.end());

    if (operations) {
        // Memory of the rows alone, before the operations add their own.
        line += " scan_peak_mb=" + std::to_string(PeakMegabytes());
        line += TimeOperation("sort_by_name", form, [&] { form.ListViewColumnClick(0); });
        line += TimeOperation("sort_by_name_reversed", form, [&] { form.ListViewColumnClick(0); });
        line += TimeOperation("sort_by_time", form, [&] { form.ListViewColumnClick(1); });
        line += TimeOperation("select_all", form, [&] { form.SelectAllActionExecute(); });
        line += " selected=" + std::to_string(form.Results->SelectedCount());
        line += TimeOperation("copy", form, [&] { form.CopyActionExecute(); });
        // The files as Ctrl+C and a drag hand them on: the rows named, their paths made only when asked.
        line += TimeOperation("copy_files", form, [&] { form.CopyFilesActionExecute(); });
        line += " copy_files_peak_mb=" + std::to_string(PeakMegabytes());
        line += TimeOperation("drag_start", form, [&] {
            std::size_t count = 0;
            auto paths = form.Results->SelectedPathsLater(count);
            const TComPtr<IDataObject> data = NewFileDataObject(count, std::move(paths));
        });
    }
    line += " peak_mb=" + std::to_string(PeakMegabytes());
    PrintResult(line);
    // Leave at once: tearing down a million rows is no part of any case.
    std::fflush(stdout);
    ExitProcess(0);
}
