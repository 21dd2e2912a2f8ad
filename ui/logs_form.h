#pragma once
// The processing log: one line per folder that could not be listed, shown when the scan has ended.
#include "toolkit/controls.h"
#include "toolkit/form.h"
#include <string>

class TLogsForm : public TForm {
  public:
    // Created hidden.
    TLogsForm();
    ~TLogsForm() override;

    TEdit LogEdit;
    TButton CloseButton;

    // Adds a line at the end; lines are never removed or reordered.
    void AppendLine(const std::wstring& line);
    // Every line so far, separated by line breaks.
    const std::wstring& Text() const { return text_; }
    // Centres the window over owner, gives the OK button the focus and shows it modally.
    int ShowModalOver(HWND owner);

  private:
    // Lines wait here while the window is hidden: appending to a string costs nothing per line,
    // where an edit box reflows its whole text.
    std::wstring text_;
    size_t shown_ = 0;
};
