#pragma once
// The main window: the root folder, the selection options, Start, Pause and Stop, the results
// list and the status bar.
#include "scan/file_lines.h"
#include "scan/last_scans.h"
#include "toolkit/actions.h"
#include "toolkit/controls.h"
#include "toolkit/form.h"
#include "toolkit/format_settings.h"
#include "toolkit/shell_files.h"
#include "ui/results_list.h"
#include "ui/search_rules.h"
#include "ui/window_sink.h"
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TWorkThread;
class TSnapshotSession;
class TLogsForm;

// The maker's page that the about label opens.
inline constexpr char AboutAddress[] = "https://www.dovrel.example/?prod=qnwk";

class TMainForm : public TForm {
  public:
    // arguments: the program's command-line arguments; the first one, if any, is the root folder.
    explicit TMainForm(const std::vector<std::wstring>& arguments);
    ~TMainForm() override;

    TLabel PathLabel;
    TEdit PathEdit;
    TButton PathButton;
    TCheckBox RecurseBox;
    TRadioButton NumberRadioButton;
    TEdit NumberEdit;
    TUpDown NumberSpin;
    TRadioButton LatestRadioButton;
    TDateTimePicker LatestDate;
    TDateTimePicker LatestTime;
    // Beside the pickers: the moments people mean, and the start of the last scan of the folder.
    TDropDownButton MomentButton;
    // What differs from the snapshot the last completed scan of the folder kept.
    TRadioButton ChangedRadioButton;
    TListView ListView;
    TButton StartButton;
    TButton PauseButton;
    TButton StopButton;
    TButton CloseButton;
    TLabel AboutLabel;
    TStatusBar StatusBar;
    // Beyond the search the window started with: folders to skip, names to keep, the time that counts.
    TLabel SkipLabel;
    TEdit SkipEdit;
    TLabel NamesLabel;
    TEdit NamesEdit;
    TLabel TimeLabel;
    TComboBox TimeBox;
    TActionList ActionList;
    TAction StartAction{L"&Start"};
    TAction PauseAction{L"&Pause"};
    TAction StopAction{L"S&top"};
    TPopupMenu PopupMenu;
    TAction OpenAction{L"Open..."};
    TMenuItem OpenItem;
    TAction ExploreAction{L"Explore"};
    TMenuItem ExploreItem;
    TAction CopyAction{L"Only Names"};
    TAction CopyNTAction{L"Name and Time"};
    TAction CopyTNAction{L"Time and Name"};
    TAction SelectAllAction{L"Select all"};
    TMenuItem N1{L"-"};
    TMenuItem CopyItem{L"Copy"};
    TMenuItem NamesItem;
    TMenuItem NandTItem;
    TMenuItem TandNItem;
    TMenuItem SelectAllItem;
    // Beyond the six: the files themselves handed to the shell, each entry with its key.
    TAction CopyFilesAction{L"Copy files\tCtrl+C"};
    TAction CopyPathAction{L"Copy as path\tCtrl+Shift+C"};
    TAction DeleteAction{L"Delete\tDel"};
    TAction DeleteForGoodAction{L"Delete permanently\tShift+Del"};
    TAction PropertiesAction{L"Properties\tAlt+Enter"};
    TAction ShellMenuAction{L"More options\tShift+F10"};
    TMenuItem N2{L"-"};
    TMenuItem CopyFilesItem;
    TMenuItem CopyPathItem;
    TMenuItem DeleteItem;
    TMenuItem DeleteForGoodItem;
    TMenuItem PropertiesItem;
    TMenuItem ShellMenuItem;
    // Every row, in list order, to a file as the console writes it.
    TAction SaveResultsAction{L"Save results...\tCtrl+S"};
    TMenuItem N3{L"-"};
    TMenuItem SaveResultsItem;

    void PathButtonClick();
    // The moments' menu below MomentButton; the entry chosen fills the pickers.
    void MomentButtonClick();
    // The pickers show the local date and time of an instant, and the date mode is selected.
    void ChooseMoment(std::int64_t instant);
    void RadioButtonClick();
    void ListViewColumnClick(int column);
    void ListViewResize();
    // Beyond the menu, the keys of every file list: Enter opens, Ctrl+A selects all, Ctrl+C copies
    // the files, Ctrl+Shift+C their paths, Del and Shift+Del delete, Alt+Enter shows the properties;
    // a double click opens too; Ctrl+S saves the rows. Each follows its command's enable rule.
    void ListViewKeyDown(WORD key);
    void ListViewDoubleClick();
    void AboutLabelMouseMove(int x, int y);
    void AboutLabelClick();
    void CloseButtonClick();
    void NumberEditChange();
    // The number box, on leaving it: what it holds is made what a scan would take.
    void NumberEditExit();
    void StartActionUpdate();
    void StartActionExecute();
    void PauseActionUpdate();
    void PauseActionExecute();
    void StopActionUpdate();
    void StopActionExecute();
    void OpenActionExecute();
    void ExploreActionExecute();
    void CopyActionExecute();
    void CopyNTActionExecute();
    void CopyTNActionExecute();
    void SelectAllActionUpdate();
    void SelectAllActionExecute();
    void SelectedActionUpdate(TAction& action);
    void CopyFilesActionExecute();
    void CopyPathActionExecute();
    void DeleteActionExecute();
    void DeleteForGoodActionExecute();
    void PropertiesActionExecute();
    void ShellMenuActionExecute();
    void SaveResultsActionUpdate();
    void SaveResultsActionExecute();
    // Keys wherever the focus is: F5 runs the search again, as Start would.
    bool FormKeyDown(WORD key);
    // A right click or the menu key with Shift held: the shell's own menu instead of the list's.
    bool ListViewContextMenu(POINT at);
    void ListViewBeginDrag();
    bool FormCloseQuery();

    // The shell's folder dialog, owned by the application's hidden window. folder is the folder to
    // preselect and receives the choice; false when cancelled or not shown.
    bool PickFolder(const std::wstring& title, const std::wstring& root, std::wstring& folder);

    // Shows a menu at a screen point and gives the id of the entry chosen, 0 for none; tests replace it.
    std::function<UINT(HMENU menu, POINT at)> TrackMenu;
    // Opens the about label's address and gives the shell's result; tests replace it.
    std::function<INT_PTR(HWND parent, const char* address)> OpenAddress;
    // The shell call behind Open and Explore; tests replace it.
    std::function<INT_PTR(HWND owner, const wchar_t* verb, const wchar_t* file, const wchar_t* parameters)>
        ShellExecuteCall;
    // Opens a folder with the named files in it selected; false when the shell could not, and
    // Explore then opens the folder alone. Tests replace it.
    std::function<bool(const std::wstring& folder, const std::vector<std::wstring>& names)> ShowInFolder;
    // Whether the shell finds a folder before Explore opens it alone. Tests replace it.
    std::function<bool(const std::wstring& folder)> ReachesFolder;
    // The shell's own deletion, properties window, "Open with" dialog and context menu (true when
    // a command of it ran). Tests replace them.
    std::function<TShellDeleteResult(HWND owner, const std::vector<std::wstring>& paths, bool recycle)>
        DeleteFiles;
    std::function<bool(HWND owner, const std::vector<std::wstring>& paths)> ShowProperties;
    std::function<HRESULT(HWND owner, const std::wstring& path)> OpenWithDialog;
    std::function<bool(HWND owner, const std::vector<std::wstring>& paths, POINT at, bool extended)>
        ShellMenu;
    // The system's save dialog for the rows: path proposed and chosen, and the format of the type
    // chosen; false when cancelled. Tests replace it.
    std::function<bool(HWND owner, std::wstring& path, TOutputFormat& format)> ChooseSaveFile;

    // The rows of ListView, which only displays them.
    std::unique_ptr<TResultsList> Results;
    // Shows the processing log at the end of a scan; tests replace it.
    std::function<void(TLogsForm& log)> ShowProcessingLog;
    // Runs on each new job before its thread starts; tests give it their own listing.
    std::function<void(TWorkThread& job)> PrepareJob;
    // Whether a scan job exists (it may have been told to stop and not have ended yet).
    bool HasJob() const { return WorkThread != nullptr; }
    bool JobPaused() const;

  private:
    TWorkThread* WorkThread = nullptr;
    // The running time: the shifted start while running, the time so far while paused.
    TDateTime Elapsed = 0;

    void ScanEnded(const TScanEnd& end, std::unique_ptr<TLogsForm> log);
    // Every scan keeps a snapshot of its root when it runs to its end; in the changed mode it is also
    // compared with the one kept before, its changes becoming the rows.
    std::unique_ptr<TSnapshotSession> snapshot_;
    bool comparing_ = false;
    bool oldTold_ = false;
    std::wstring TellOld();
    void StartSnapshot(TWorkThread& job, bool compare);
    // The changes found since the last call become rows.
    void TakeChanges();
    // The snapshot put in the old one's place, or dropped, when the scan ends; what it says into Counts.
    void EndSnapshot(const TScanEnd& end, std::unique_ptr<TLogsForm>& log);
    // The moment of the pickers: the date picker's day and the time picker's time of day.
    TDateTime PickedMoment() const;
    // The instant of a moment chosen from the menu and the pickers' moment it was shown as: while
    // they still show it, a scan compares with the instant itself, which the pickers hold only to
    // the second.
    struct TChosenMoment {
        TDateTime Shown = 0;
        std::int64_t Utc = 0;
    };
    std::optional<TChosenMoment> chosenMoment_;
    void LoadSettings();
    void SaveSettings();
    // The number in the box brought into range, written back, and returned.
    int CommitNumber();
    static constexpr int InitialNumber = 100;
    int lastNumber_ = InitialNumber;
    TFormatSettings formats_ = UserFormatSettings();
    std::wstring thousandSeparator_ = formats_.ThousandSeparator;
    void ConnectResultsList();
    void ConnectSearchControl();
    void ConnectSaving();
    // The stop question open, and whether Stop or Close asked it.
    enum class TStopQuestion { None, ForStop, ForClose };
    bool AskStop(TStopQuestion why);
    void ResumeJob();

    std::unique_ptr<TWindowSink> ScanSink;
    // The status bar's second part: files seen, rows, pauses and what the filters did.
    TScanCounts Counts;
    unsigned long long countsShown_ = 0;
    // Shows Counts, updated from the job while there is one; unless now, at most twice a second: under
    // Wine ten redraws of the status bar a second left the list without a new picture for a second.
    void ShowCounts(bool now);
    void ShowCountsText();
    void LayoutStatusBar();
    int CountsWidth(const std::wstring& text) const;
    // The width the counts' text wanted when the bar was laid out, and the part's usual width.
    int countsWidth_ = 0;
    int UsualCountsWidth() const;
    // What masks without a wildcard may have meant, told at the end when they took no file.
    std::wstring maskHint_;
    TStopQuestion askingStop_ = TStopQuestion::None;
    // The selected rows' paths in list order.
    std::vector<std::wstring> SelectedPaths() const;
    // The form of a path the shell takes; empty, said in a box, where it can take no form of it.
    std::wstring ShellPathOrSay(const std::wstring& path) const;
    // A shell result of 32 or less, told in the system's words under the path it was about.
    void ReportShellFailure(const std::wstring& path, INT_PTR result);
    void OpenFile(const std::wstring& path);
    void ExploreFolder(const std::wstring& folder, const std::vector<std::wstring>& names,
                       const std::wstring& firstPath);
    void CopySelectedRows(TCopyLayout layout);
    void DeleteSelected(bool recycle);
    // Rows whose files are gone leave the list; rows are named by identity, so that rows gone or
    // moved meanwhile are not mistaken.
    void DropRowsOfGoneFiles(const std::vector<TRowId>& rows);
    void ShowSelectionCount();
    // The selected rows' count and, when it changed, their sizes together into Counts.
    void TakeSelection();
    std::int64_t selectedBytesFor_ = -1;
};
