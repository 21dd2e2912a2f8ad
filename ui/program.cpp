#include "ui/program.h"

#include "toolkit/application.h"
#include "toolkit/error.h"
#include "toolkit/message_box.h"

int RunProgram(const std::function<std::unique_ptr<TForm>()>& createMainForm) {
    try {
        Application.Initialize();
        Application.SetTitle(L"Quenwick");
        const std::unique_ptr<TForm> mainForm = createMainForm();
        mainForm->Show();
        Application.Run();
        return 0;
    } catch (...) {
        ShowMessageBox(ErrorReportText(ExceptionMessage(std::current_exception())), L"Application Error",
                       MB_OK | MB_ICONERROR);
        return 1;
    }
}
