#pragma once
// The program from its start to its end.
#include "toolkit/form.h"
#include <functional>
#include <memory>

// Initialises the application, makes the main window with createMainForm, shows it and runs the
// messages until it closes; the window is destroyed (and stores its settings) before this returns.
// A failure on the way is shown in an "Application Error" box. Returns the exit code: 0, or 1
// after a failure.
int RunProgram(const std::function<std::unique_ptr<TForm>()>& createMainForm);
