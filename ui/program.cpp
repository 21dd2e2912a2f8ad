#include "ui/program.h"

#include "toolkit/application.h"
#include "toolkit/file_data.h"

int RunProgram(const std::function<std::unique_ptr<TForm>()>& createMainForm) {
    try {
        Application.Initialize();
        Application.SetTitle(L"Quenwick");
        const std::unique_ptr<TForm> mainForm = createMainForm();
        mainForm->Show();
        Application.Run();
        // Files copied stay on the clipboard once the program has gone.
        FlushFilesOnClipboard();
        return 0;
    } catch (...) {
        Application.ShowException(std::current_exception(), L"Application Error");
        return 1;
    }
}
