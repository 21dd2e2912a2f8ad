// The main window's rows kept in a file, and its search run again.
#include "ui/main_form.h"

#include "scan/listing.h"
#include "scan/sys_error.h"
#include "toolkit/application.h"
#include "toolkit/handoff.h"
#include "toolkit/message_box.h"
#include "toolkit/save_dialog.h"
#include "toolkit/whole_file.h"

namespace {

// The file types the dialog offers, in the order of TOutputFormat's choices below.
constexpr TFileType SaveTypes[] = {{L"CSV (*.csv)", L"*.csv"}, {L"JSON lines (*.json)", L"*.json"}};
constexpr TOutputFormat SaveFormats[] = {TOutputFormat::Csv, TOutputFormat::Json};

bool AskSaveResultsFile(HWND owner, std::wstring& path, TOutputFormat& format) {
    int type = format == TOutputFormat::Json ? 1 : 0;
    if (!AskSaveFile(owner, SaveTypes, path, type)) {
        return false;
    }
    format = SaveFormats[type];
    return true;
}

// Written in blocks of this size: a million rows take a hundred writes, not a million.
constexpr std::size_t WriteBlock = 1 << 20;

} // namespace

void TMainForm::ConnectSaving() {
    ChooseSaveFile = AskSaveResultsFile;
    SaveResultsAction.OnUpdate = [this] { SaveResultsActionUpdate(); };
    SaveResultsAction.OnExecute = [this] { SaveResultsActionExecute(); };
    OnKeyDown = [this](WORD key) { return FormKeyDown(key); };
}

void TMainForm::SaveResultsActionUpdate() {
    SaveResultsAction.SetEnabled(Results->RowCount() > 0);
}

// Every row, whatever is selected, in the order the list shows them, even while a scan runs. A
// million rows take about a second.
void TMainForm::SaveResultsActionExecute() {
    std::wstring path = L"results.csv";
    TOutputFormat format = TOutputFormat::Csv;
    if (!ChooseSaveFile(Handle(), path, format)) {
        return;
    }
    Results->Flush();
    TWholeFile file(SystemPath(FullPath(path)));
    std::string bytes, held;
    AppendFileStart(format, bytes);
    std::size_t inexact = 0;
    const int count = Results->RowCount();
    for (int i = 0; i < count && file.Error() == 0; ++i) {
        const TRow row = Results->Row(i, false);
        held.clear();
        AppendUtf8(row.Path, held, true);
        inexact += AppendFile(format, held, row.Time, row.Utc, row.Size, false, bytes) ? 0 : 1;
        if (bytes.size() >= WriteBlock) {
            file.Write(bytes);
            bytes.clear();
            AnswerSentAndPaint(); // the rows stay those of the moment the save began
        }
    }
    if (!file.Write(bytes) || !file.Commit()) {
        ShowMessageBox(path + L"\r\n\r\nThe results could not be saved.\r\n\r\n" + SysErrorText(file.Error()),
                       Application.Title(), MB_OK | MB_ICONERROR);
        return;
    }
    // A name that UTF-8 cannot hold is never passed off as the file's.
    if (inexact > 0) {
        ShowMessageBox(path + L"\r\n\r\nUTF-8 cannot hold " +
                           GroupedNumber(static_cast<std::int64_t>(inexact), formats_) +
                           L" of the names exactly: they are written with U+FFFD in place of each lone "
                           L"surrogate. JSON lines hold them exactly.",
                       Application.Title(), MB_OK | MB_ICONWARNING);
    }
}

bool TMainForm::FormKeyDown(WORD key) {
    if (key != VK_F5 || GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_SHIFT) < 0) {
        return false;
    }
    StartAction.Execute();
    return true;
}
